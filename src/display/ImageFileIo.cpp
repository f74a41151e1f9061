#include "display/ImageFileIo.h"

#include "OcuFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ocu::fileio {

InputFile::InputFile(const std::string& path)
    : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)) {
    struct stat info {};
    if (m_fd && ::fstat(m_fd.get(), &info) == 0 && S_ISREG(info.st_mode))
        m_size = static_cast<uint64_t>(info.st_size);
    else
        m_fd.reset();
}

size_t InputFile::ReadAt(uint64_t offset, uint8_t* dst, size_t count) const {
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(m_fd.get(), dst + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<size_t>(got);
    }
    return done;
}

void AppendLe16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void AppendLe32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void AppendBytes(std::string& out, const void* bytes, size_t count) {
    out.append(static_cast<const char*>(bytes), count);
}

BitmapInfoHeader FrameHeader(int width, int height, int bitCount) {
    BitmapInfoHeader header{};
    header.biSize = sizeof(BitmapInfoHeader);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(bitCount);
    header.biCompression = kBiRgb;
    return header;
}

int Refuse(std::string* note, const std::string& reason) {
    if (note != nullptr)
        *note = reason;
    return 0;
}

void NoteShortRead(std::string* note, size_t got, size_t wanted, const char* rest) {
    if (note != nullptr && got < wanted)
        *note = "the file holds " + std::to_string(got) + " of its " + std::to_string(wanted) +
                " bytes of pixels; the rest " + rest;
}

bool WriteWholeFile(const std::string& path, std::string_view content, std::string* note) {
    // The file the user named: its folder must be there already.
    std::string reason;
    if (ocufile::ReplaceFile(path, content, ocufile::Folders::MustExist, &reason))
        return true;
    Refuse(note, "cannot write the file: " + reason);
    return false;
}

} // namespace ocu::fileio
