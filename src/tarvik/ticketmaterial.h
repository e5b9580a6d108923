#pragma once

#include "tarvik/multilangobject.h"

namespace tarvik {

// A ticket medium of the back-end's fare catalogue, named by its code
// ("TM_PAPER_TICKET" marks a product issued on paper).
//
//   "mainId"  int
//   "code", "name"  text
class TicketMaterial : public MultiLangObject<TicketMaterial>
{
public:
    TicketMaterial();
    explicit TicketMaterial(const QJsonObject &json);
    ~TicketMaterial() override;

    int mainId() const;
    void setMainId(int mainId);
    QString code() const;
    void setCode(const QString &code);
    QString name() const;
    void setName(const QString &name);

    QString toString() const;
};

} // namespace tarvik
