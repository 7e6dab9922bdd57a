#include "platform/files.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace halvex {

namespace fs = std::filesystem;

int64_t fileLength(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return -1;
    auto size = fs::file_size(path, ec);
    return ec ? -1 : static_cast<int64_t>(size);
}

size_t readAt(const std::string& path, int64_t offset, void* dst, size_t bytes) {
    size_t got = 0;
    std::ifstream in;
    if (offset >= 0 && fileLength(path) >= 0) in.open(path, std::ios::binary);
    if (in) {
        in.seekg(offset);
        if (in) {
            in.read(static_cast<char*>(dst), static_cast<std::streamsize>(bytes));
            got = static_cast<size_t>(in.gcount());
        }
    }
    std::memset(static_cast<char*>(dst) + got, 0, bytes - got);
    return got;
}

std::vector<uint8_t> readHead(const std::string& path, size_t limit) {
    const int64_t length = fileLength(path);
    std::vector<uint8_t> head(length > 0 ? std::min<size_t>(static_cast<size_t>(length), limit) : 0);
    if (!head.empty()) head.resize(readAt(path, 0, head.data(), head.size()));
    return head;
}

bool writeAt(const std::string& path, int64_t offset, const void* src, size_t bytes) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    if (!out) {
        std::ofstream create(path, std::ios::binary | std::ios::app);
        if (!create) return false;
        create.close();
        out.open(path, std::ios::binary | std::ios::in | std::ios::out);
        if (!out) return false;
    }
    out.seekp(offset);
    out.write(static_cast<const char*>(src), static_cast<std::streamsize>(bytes));
    out.flush();
    return static_cast<bool>(out);
}

bool replaceFile(const std::string& path, const std::string& content) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out.flush()) {
            out.close();
            std::error_code ec;
            std::filesystem::remove(temporary, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) std::filesystem::remove(temporary, ec);
    return !ec;
}

std::vector<std::string> folderFiles(const std::string& folder, const std::string& extension) {
    std::vector<std::string> names;
    std::error_code ec;
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
        return s;
    };
    const std::string wanted = lower(extension);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::string name = it->path().filename().string();
        if (!wanted.empty() && lower(it->path().extension().string()) != wanted) continue;
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {
std::string& namedExecutableFolder() {
    static std::string folder;
    return folder;
}
}  // namespace

void setExecutableFolder(const std::string& folder) {
    namedExecutableFolder() = folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string executableFolder() {
    if (!namedExecutableFolder().empty()) return namedExecutableFolder();
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string() + "/";
}

}  // namespace halvex
