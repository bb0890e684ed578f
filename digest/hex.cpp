// DigestToHex.
#include "digest/hex.h"

void DigestToHex(const unsigned char digest[16], char text[32])
{
    static const char kDigits[] = "0123456789abcdef";
    for (int k = 0; k < 16; ++k) {
        text[2 * k] = kDigits[digest[k] >> 4];
        text[2 * k + 1] = kDigits[digest[k] & 0x0F];
    }
}
