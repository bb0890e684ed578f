// The digest as text: 32 lowercase hexadecimal digits.
#pragma once

// Writes the 16 digest bytes as exactly 32 lowercase hexadecimal digits, high
// half of each byte first. No terminator.
void DigestToHex(const unsigned char digest[16], char text[32]);
