#pragma once

// The QR master key of the deployment, fixed at build time: the first two of the three DES
// keys of every enciphered ticket. Constant from static initialisation on, so any thread may
// read it. Never logged, printed or written anywhere.
class QrMasterKey
{
public:
    static constexpr int Size = 16;

    // Size bytes in stored order.
    static const unsigned char *bytes();
    // False when the build named no key file and the key is all zeros.
    static bool isSet();
};
