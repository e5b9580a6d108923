// A back-end reply to each of the client's requests, as its parsers receive it.
#include "fuzzsupport.h"

#include "tarvik/connector.h"

#include <QJsonArray>
#include <QTemporaryDir>

namespace {
tarvik::Connector *gConnector = nullptr;
QTemporaryDir *gStorage = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::startQt(argc, argv);
    gStorage = new QTemporaryDir;
    gConnector = new tarvik::Connector;
    gConnector->setStoragePath(gStorage->path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument document = QJsonDocument::fromJson(fuzz::bytes(data, size));
    const QJsonObject reply = document.object();
    gConnector->parseSyncBoResponse(reply);
    gConnector->parseObuMgmtResponse(reply);
    gConnector->parseActionListResponse(document.array());
    gConnector->parseActionCompleteResponse(200, reply);
    gConnector->parseCustomerInfo(reply, reply.value(QLatin1String("request")).toObject());
    return 0;
}
