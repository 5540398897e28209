#include "base/error.h"

#include <cerrno>
#include <cstring>
#include <iterator>

namespace charlib {

namespace {

const char* action_text(FileError::Action action)
{
    switch (action) {
    case FileError::Action::Open: return "无法打开文件";
    case FileError::Action::Read: return "无法读取文件";
    case FileError::Action::ReadPastEnd: return "已读到文件末尾，没有更多的行";
    case FileError::Action::Write: return "无法写入文件";
    case FileError::Action::Converter: return "无法打开 ICU 的编码转换表";
    case FileError::Action::Parse: return "无法解析文件";
    }
    return "文件操作失败";
}

std::string message(FileError::Action action, const std::filesystem::path& path, int system_error)
{
    return std::string(action_text(action)) + "“" + path.string() + "”：" + system_reason(system_error);
}

}  // namespace

FileError::FileError(Action action, std::filesystem::path path, int system_error, const std::string& note) :
    std::runtime_error(action == Action::Parse
            ? std::string(action_text(action)) + "“" + path.string() + "”：" + note
            : message(action, path, system_error) + (note.empty() ? "" : "（" + note + "）")),
    action_(action),
    path_(std::move(path)),
    system_error_(system_error)
{
}

std::string FileError::reason() const
{
    return system_reason(system_error_);
}

std::string system_reason(int system_error)
{
    switch (system_error) {
    case 0: return "没有更多的内容";
    case ENOENT: return "文件或文件夹不存在";
    case EACCES:
    case EPERM: return "没有访问权限（或文件是只读的）";
    case EEXIST: return "已有同名的文件或文件夹";
    case EISDIR: return "这是一个文件夹，不是文件";
    case ENODEV: return "这不是普通文件（是设备或管道）";
    case ENOTDIR: return "路径中有一部分不是文件夹";
    case ENOTEMPTY: return "文件夹不是空的";
    case ELOOP: return "符号链接太多（可能绕成了圈）";
    case ENOSPC: return "磁盘空间不足";
#ifdef EDQUOT
    case EDQUOT: return "超出磁盘配额";
#endif
    case EROFS: return "磁盘或文件系统是只读的";
    case EXDEV: return "不能跨文件系统移动（不在同一个磁盘或分区上）";
    case EBUSY:
    case ETXTBSY: return "文件正被其他程序占用";
    case ENAMETOOLONG: return "路径太长";
    case EIO: return "读写设备时出错";
    case EMFILE:
    case ENFILE: return "打开的文件太多";
    case EFBIG: return "文件太大";
    case EINVAL: return "路径或文件名无效";
    case ENOMEM: return "内存不足";
    case EPIPE: return "管道的另一端已经关闭";
    case ENXIO: return "设备不存在，或管道的另一端没有程序在读";
    case EAGAIN: return "暂时无法读写，请稍后再试";
    case ESTALE: return "网络文件系统上的这个文件已失效";
    default: return std::strerror(system_error);
    }
}

namespace {

// 268435456 as "268,435,456".
std::string grouped(std::uint64_t number)
{
    const std::string digits = std::to_string(number);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

// 256 MiB, 1 GiB, 1.5 KiB: the limits are round numbers.
std::string in_units(std::uint64_t bytes)
{
    static constexpr const char* units[] = {"字节", "KiB", "MiB", "GiB", "TiB"};
    std::size_t unit = 0;
    std::uint64_t whole = bytes, rest = 0;
    while (unit + 1 < std::size(units) && whole >= 1024) {
        rest = whole % 1024;
        whole /= 1024;
        ++unit;
    }
    std::string text = std::to_string(whole);
    if (rest != 0) text += "." + std::to_string(rest * 10 / 1024);
    return text + " " + units[unit];
}

}  // namespace

std::string over_limit(std::uint64_t limit)
{
    return "超过上限 " + grouped(limit) + " 字节（" + in_units(limit) + "）";
}

std::string size_over_limit(std::uint64_t size, std::uint64_t limit)
{
    return grouped(size) + " 字节，" + over_limit(limit);
}

}  // namespace charlib
