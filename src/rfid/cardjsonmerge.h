#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1String>

// Puts a card model's records back over the card message they were read from, so that
// keys the model does not know, and values it left as they were read, go out exactly as
// they came in (a number sent as text, a time that does not parse, a per-zone counter).
// The arguments, each the JSON of one record:
//
//   read     the record as it came from the card
//   asRead   the model's JSON of the record right after reading it; empty when the model
//            did not read the record, so that every key of the model is written
//   model    the model's JSON of the record now
//   blank    the model's JSON of a record made without the card
class CardJsonMerge
{
public:
    // read with each key of model written where read lacks it or where it differs from
    // asRead; objects nested in both merge the same way.
    static QJsonObject merged(const QJsonObject &read, const QJsonObject &asRead, const QJsonObject &model);

    // A single log record comes as an object or as an array whose element 0 is the record.
    static bool hasRecord(const QJsonValue &value);
    static QJsonObject recordOf(const QJsonValue &value); // empty when there is none

    // data[key] := model merged over the record stored there, in the shape it came. A
    // record the model left unchanged (equal to asRead, or to blank when it was not read)
    // stays exactly as it came, or absent.
    static void putRecord(QJsonObject &data, QLatin1String key, const QJsonObject &model,
                          const QJsonObject &asRead, const QJsonObject &blank);
};
