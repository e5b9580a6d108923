#pragma once

#include <QString>

#include <memory>

class Basket;
class DBManager;
class RfidInspector;

// Makes the inspector of a card template. Stateless.
//
//   template      inspector
//   "ZetoDESv3"   ZetoDesInspector_v3
//   "ZetoDESv2"   ZetoDesInspector_v2
//   "ZetoLUC"     ZetoLucInspector
//   "ZetoLUCv2"   ZetoLUCInspector_v2
//
// Templates are compared exactly, case included, in table order; any other (also "ZetoDESv4"
// and "EMV") gives null, without a log line: the caller logs it.
class RfidInspectorFactory
{
public:
    virtual ~RfidInspectorFactory() = default;

    // A new inspector owned by the caller, or null. The basket is not used.
    static RfidInspector *create(const QString &templateName, DBManager &db, std::shared_ptr<Basket> basket);
};
