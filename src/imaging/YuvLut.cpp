#include "imaging/YuvLut.h"

#include "common/FileContent.h"
#include "common/UserFolders.h"

#include <array>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ocu {
namespace {

std::string& FolderOverride() {
    static std::string folder;
    return folder;
}

std::string ExecutableFolder() {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return {};
    const std::string path(exe, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// /usr (a package's /usr/bin, or /usr/local/bin) belongs to the package manager or the administrator and
// is never written at run time: a table a root run left there would outlive the package's removal.
bool IsSystemFolder(const std::string& folder) {
    return folder == "/usr" || folder.starts_with("/usr/");
}

bool IsTableFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) == kYuvLutSize;
}

MappedView MapExisting(const std::string& path, UniqueFd& file) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd || fstat(fd.get(), &st) != 0 || !IsTableFile(st))
        return {};
    // Populated at once, so that the first gray frames do not fault in the table page by page.
    void* view = mmap(nullptr, kYuvLutSize, PROT_READ, MAP_SHARED | MAP_POPULATE, fd.get(), 0);
    if (view == MAP_FAILED)
        return {};
    file = std::move(fd);
    return MappedView(static_cast<uint8_t*>(view), Unmapper{kYuvLutSize});
}

} // namespace

void FillYuvLut(uint8_t* table) {
    // Row by row with the partial sums kept: every entry is still the three products summed in the rule's
    // order, so each byte is the one the rule gives.
    std::array<double, 256> blue{};
    for (int b = 0; b < 256; ++b)
        blue[static_cast<size_t>(b)] = static_cast<double>(b) * 0.114;
    for (int r = 0; r < 256; ++r) {
        const double red = static_cast<double>(r) * 0.299;
        for (int g = 0; g < 256; ++g) {
            const double redGreen = red + static_cast<double>(g) * 0.587;
            uint8_t* row = table + (static_cast<size_t>(r) << 16) + (static_cast<size_t>(g) << 8);
            for (size_t b = 0; b < 256; ++b)
                row[b] = static_cast<uint8_t>(static_cast<int>(redGreen + blue[b]));
        }
    }
}

void BgrToGray(uint8_t* dst, const uint8_t* src, size_t pixels, const uint8_t* table) {
    if (table != nullptr) {
        for (size_t i = 0; i < pixels; ++i, src += 3)
            dst[i] = table[(static_cast<size_t>(src[2]) << 16) | (static_cast<size_t>(src[1]) << 8) | src[0]];
    } else {
        for (size_t i = 0; i < pixels; ++i, src += 3)
            dst[i] = GrayLevel(src[2], src[1], src[0]);
    }
}

MappedView MapYuvLutFile(const std::string& path, UniqueFd& file) {
    if (path.empty())
        return {};
    if (MappedView view = MapExisting(path, file))
        return view;
    std::string table(kYuvLutSize, '\0');
    FillYuvLut(reinterpret_cast<uint8_t*>(table.data()));
    if (!ReplaceFileContent(path, table))
        return {};
    return MapExisting(path, file);
}

std::string ChooseYuvLutPath(const std::string& exeFolder, const std::string& cacheFolder) {
    if (!exeFolder.empty()) {
        const std::string beside = exeFolder + "/" + kYuvLutFileName;
        struct stat st {};
        if ((stat(beside.c_str(), &st) == 0 && IsTableFile(st)) ||
            (!IsSystemFolder(exeFolder) && access(exeFolder.c_str(), W_OK) == 0))
            return beside;
    }
    return cacheFolder.empty() ? std::string() : cacheFolder + "/" + kYuvLutFileName;
}

std::string YuvLutPath() {
    const std::string& folder = FolderOverride();
    const std::string cache = CacheFolder();
    return ChooseYuvLutPath(folder.empty() ? ExecutableFolder() : folder,
                            cache.empty() ? cache : cache + "/ocuviewer");
}

void SetYuvLutFolderForTesting(std::string folder) {
    FolderOverride() = std::move(folder);
}

} // namespace ocu
