#pragma once

#include <QMap>
#include <QString>
#include <QVector>

#include <map>

class QJsonObject;

namespace tarvik {

// A fare product of the line being driven, as the OBU sends it. A plain value whose members
// are all implicitly shared, so copies are cheap; only the active flag changes after parsing,
// decided by the route at every progress event.
class FareProduct
{
public:
    // Products by id; equal ids stay in arrival order (std::multimap inserts at the upper
    // bound, unlike Qt 5's QMultiMap which puts the newest first).
    using MultiMap = std::multimap<int, FareProduct>;

    struct PassengerType
    {
        PassengerType() = default;
        explicit PassengerType(const QJsonObject &json);

        int id = 0;
        int ageFrom = 0;
        int ageTo = 0;
        QString code;
        QString description;
        double discount = 0;
        QString gracePeriod;
        int category = 0;
        bool isDefault = false; // "default" and "active" come as whole numbers, not booleans
        bool active = false;
    };

    FareProduct() = default;
    explicit FareProduct(const QJsonObject &json);
    virtual ~FareProduct() = default;
    FareProduct(const FareProduct &) = default;
    FareProduct &operator=(const FareProduct &) = default;
    FareProduct(FareProduct &&) = default;
    FareProduct &operator=(FareProduct &&) = default;

    void fromJson(const QJsonObject &json);

    int getId() const { return mId; }
    QString getName() const { return mName; }
    QString getValidFrom() const { return mValidFrom; }
    bool getActive() const { return mActive; }
    int getFromStopGroupId() const { return mFromStopGroupId; }
    int getToStopGroupId() const { return mToStopGroupId; }
    bool getFromAnywhere() const { return mFromAnywhere; }
    bool getToAnywhere() const { return mToAnywhere; }
    bool getValidPerRoute() const { return mValidPerRoute; }
    int getAxisId() const { return mAxisId; }
    int getNumberOfTrips() const { return mNumberOfTrips; }
    int getValidityPeriodMin() const { return mValidityPeriodMin; }
    bool isAxisFare() const { return mIsAxisFare; }
    bool isZoneFare() const { return mIsZoneFare; }
    bool isCityZoneFare() const { return mIsCityZoneFare; }
    QVector<int> getValidStopGroupIds() const { return mValidStopGroupIds; }
    QMap<int, QString> getTicketMaterials() const { return mTicketMaterials; }
    bool isValid() const { return mId > 0; }

    QMap<int, QString> getPassengerTypes() const; // id -> description
    PassengerType findPassengerType(int id) const;
    PassengerType findPassengerType(const QString &code) const;

    QString type() const;
    void setActive(bool active);

    QString toString() const;
    void log() const;

private:
    QString describe() const;

    bool mActive = false;
    int mFromStopGroupId = 0;
    int mToStopGroupId = 0;
    int mId = 0;
    int mFareDiscount = 0;
    int mValidityPeriodMin = 0;
    int mAxisId = 0;
    int mNumberOfTrips = 0;
    QString mName;
    QString mImage;
    QString mValidFrom;
    bool mIsReturnFee = false;
    double mPrice = 0;
    bool mFromAnywhere = false;
    bool mToAnywhere = false;
    bool mValidPerRoute = false;
    bool mIsAxisFare = false;
    bool mIsZoneFare = false;
    bool mIsCityZoneFare = false;
    QMap<int, PassengerType> mPassengerTypes;
    QMap<int, QString> mPaymentChannels;
    QMap<int, QString> mPaymentMethods;
    QMap<int, QString> mTicketMaterials;
    QVector<int> mValidStopGroupIds;
};

} // namespace tarvik
