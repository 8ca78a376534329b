#include "batch/OutputNaming.h"

#include "cipher/passKey.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

namespace mg::naming {

LocalTime ReadLocalClock()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto sinceEpoch = now.time_since_epoch();
    const auto whole = duration_cast<seconds>(sinceEpoch);
    const std::time_t t = static_cast<std::time_t>(whole.count());
    std::tm tm{};
    localtime_r(&t, &tm);
    LocalTime out;
    out.year = tm.tm_year + 1900;
    out.month = tm.tm_mon + 1;
    out.day = tm.tm_mday;
    out.hour = tm.tm_hour;
    out.minute = tm.tm_min;
    out.second = tm.tm_sec;
    out.millisecond = static_cast<int>(duration_cast<milliseconds>(sinceEpoch - whole).count());
    return out;
}

std::string TimeStamp(const LocalTime& t)
{
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d%03d.", t.year, t.month, t.day, t.hour,
                                t.minute, t.second, t.millisecond);
    return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string NameOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string StemOf(std::string_view name)
{
    const auto dot = name.find('.');
    if (dot == std::string_view::npos)
        return std::string(name) + '.'; // README keeps its name: README.
    return std::string(name.substr(0, dot + 1));
}

std::string SourcePath(std::string_view folder, std::string_view item)
{
    std::string path(folder);
    path += '/';
    path += item;
    return path;
}

namespace {

OutputName Stamped(const std::string& extension, const Clock& clock)
{
    return {TimeStamp(clock ? clock() : ReadLocalClock()), extension};
}

OutputName FromName(std::string_view name, bool keepExtension, const std::string& extension)
{
    if (keepExtension)
        return {std::string(name) + '.', extension};
    return {StemOf(name), extension};
}

} // namespace

OutputName EncryptOutputName(std::string_view name, const EncryptSettings& s, const Clock& clock)
{
    if (s.timeBased)
        return Stamped(s.extension, clock);
    if (s.rot13)
        return FromName(mg::Rot13(name), s.keepExtension, s.extension);
    return FromName(name, s.keepExtension, s.extension);
}

OutputName DecryptOutputName(std::string_view name, const DecryptSettings& s, const Clock& clock)
{
    if (s.useDateTime)
        return Stamped(s.extension, clock);
    return FromName(name, s.keepExtension, s.extension);
}

std::string DestinationPath(std::string_view folder, const OutputName& out)
{
    return SourcePath(folder, out.Text());
}

namespace {

std::string Key(std::string_view path)
{
    return std::filesystem::path(std::string(path)).lexically_normal().string();
}

} // namespace

std::string BatchNames::Destination(std::string_view folder, const OutputName& out) const
{
    std::string path = DestinationPath(folder, out);
    if (!WasWritten(path))
        return path;
    // base always ends with the dot before the extension text; the counter
    // goes in front of that dot.
    std::string head = out.base;
    if (!head.empty() && head.back() == '.')
        head.pop_back();
    for (unsigned long n = 2;; ++n) {
        OutputName candidate{head + '-' + std::to_string(n) + '.', out.extension};
        path = DestinationPath(folder, candidate);
        if (Free(path))
            return path;
    }
}

void BatchNames::MarkWritten(std::string_view path)
{
    written_.insert(Key(path));
}

void BatchNames::Forget(std::string_view path)
{
    written_.erase(Key(path));
}

bool BatchNames::WasWritten(std::string_view path) const
{
    return written_.count(Key(path)) != 0;
}

void BatchNames::AddPendingSource(std::string_view path)
{
    pending_.insert(Key(path));
}

void BatchNames::MarkProcessed(std::string_view path)
{
    pending_.erase(Key(path));
}

bool BatchNames::Free(const std::string& path) const
{
    // A name lstat cannot reach (too long, a folder that cannot be searched)
    // counts as free: writing it fails the same way, and the search ends.
    struct stat st {};
    return !WasWritten(path) && pending_.count(Key(path)) == 0 && ::lstat(path.c_str(), &st) != 0;
}

} // namespace mg::naming
