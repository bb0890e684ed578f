// FileNameFromPath and PathFromTypedText.
#include "platform/ansi.h"

std::string FileNameFromPath(const std::string& path, LeadBytePredicate isLeadByte)
{
    std::string::size_type nameStart = 0;
    for (std::string::size_type i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (isLeadByte(byte) && i + 1 < path.size())
            ++i;  // the trail byte is part of this character, whatever its value
        else if (byte == '\\' || byte == '/')
            nameStart = i + 1;
    }
    return path.substr(nameStart);
}

std::string FileNameFromPath(const std::string& path)
{
    return FileNameFromPath(path, &IsAnsiLeadByte);
}

std::string PathFromTypedText(const std::string& text)
{
    const bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"' &&
                        text.find('"', 1) == text.size() - 1;
    return quoted ? text.substr(1, text.size() - 2) : text;
}
