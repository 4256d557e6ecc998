#include "LanguageFile.h"

#include <utility>

namespace corvel {

std::wstring ReplaceLineBreakEscapes(std::wstring_view line) {
    static constexpr std::wstring_view escape = L"\\r\\n";
    std::wstring out;
    out.reserve(line.size());
    size_t pos = 0;
    for (;;) {
        const size_t hit = line.find(escape, pos);
        if (hit == std::wstring_view::npos)
            break;
        out.append(line.substr(pos, hit - pos));
        out.append(L"\r\n");
        pos = hit + escape.size();
    }
    out.append(line.substr(pos));
    return out;
}

std::wstring LanguagePathForProgram(std::wstring_view programPath) {
    if (programPath.empty())
        return std::wstring();
    // As _wsplitpath_s: the directory ends at the last separator; without one, a drive
    // ("C:") is still kept.
    size_t folderEnd = programPath.find_last_of(L"\\/");
    if (folderEnd != std::wstring_view::npos)
        ++folderEnd;
    else if (programPath.size() >= 2 && programPath[1] == L':')
        folderEnd = 2;
    else
        folderEnd = 0;
    std::wstring path(programPath.substr(0, folderEnd));
    path += kLanguageFileName;
    return path;
}

CLanguageFile::CLanguageFile(std::string bytes, LineDecoder decode)
    : m_bytes(std::move(bytes)), m_decode(std::move(decode)) {}

bool CLanguageFile::ReadLine(std::wstring& line) {
    line.clear();
    if (m_pos >= m_bytes.size())
        return false;
    size_t end = m_bytes.find('\n', m_pos);
    size_t next;
    if (end == std::string::npos) {
        // A last line without a line end keeps all it holds.
        end = m_bytes.size();
        next = end;
    } else {
        next = end + 1;
        if (end > m_pos && m_bytes[end - 1] == '\r')
            --end;
    }
    const std::string_view bytes(m_bytes.data() + m_pos, end - m_pos);
    m_pos = next;
    if (!bytes.empty() && m_decode)
        line = m_decode(bytes);
    return true;
}

bool CLanguageFile::SeekSection(std::wstring_view name, int limit) {
    std::wstring header;
    header.reserve(name.size() + 2);
    header += L'[';
    header += name;
    header += L']';
    while (m_current != header) {
        // Beyond the end only empty lines follow, and an empty line is never a header.
        if (!ReadLine(m_current))
            return false;
        if (++m_count > limit)
            return false;
    }
    return true;
}

std::wstring CLanguageFile::ReadEntry() {
    ReadLine(m_current);
    ++m_count;
    return ReplaceLineBreakEscapes(m_current);
}

std::vector<std::wstring> CLanguageFile::ReadEntries(size_t count) {
    std::vector<std::wstring> entries;
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i)
        entries.push_back(ReadEntry());
    return entries;
}

std::vector<std::wstring> ReadSection(CLanguageFile& file, std::wstring_view name, size_t count) {
    if (!file.SeekSection(name))
        return std::vector<std::wstring>(count);
    return file.ReadEntries(count);
}

} // namespace corvel
