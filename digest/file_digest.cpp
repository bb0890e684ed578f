// ComputeFileDigest and DigestToHex.
#include "digest/file_digest.h"

#include "digest/md5.h"

FileDigest ComputeFileDigest(const char* path)
{
    FileDigest result;
    CFile file;
    if (!file.Open(path, &result.openError))
        return result;

    unsigned char digest[16] = {};
    if (CMD5Checksum::DigestFile(file, digest)) {
        char text[32] = {};
        DigestToHex(digest, text);
        result.text.assign(text, sizeof text);
    } else {
        result.readFailed = true;
    }
    file.Close();
    return result;
}

void DigestToHex(const unsigned char digest[16], char text[32])
{
    static const char kDigits[] = "0123456789abcdef";
    for (int k = 0; k < 16; ++k) {
        text[2 * k] = kDigits[digest[k] >> 4];
        text[2 * k + 1] = kDigits[digest[k] & 0x0F];
    }
}
