#pragma once

namespace ZetoLUC {

// The identity of a LUC card; its keys are mapped in card.h.
class Info
{
public:
    int getVersion() const { return mVersion; }
    int getIssuerId() const { return mIssuerId; } // 0 is invalid

    void setVersion(int version) { mVersion = version; }
    void setIssuerId(int id) { mIssuerId = id; }

private:
    int mVersion = 0;
    int mIssuerId = 0;
};

} // namespace ZetoLUC
