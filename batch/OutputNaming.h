#pragma once
// Names of the files that the encrypt and decrypt batches write.
//
// For every selected file a batch builds the source path (main folder, "/",
// item) and the destination path (destination folder, "/", output name). The
// output name is a time stamp, the existing name, or the ROT-13 form of the
// existing name (encrypt only), followed by the window's extension text.
// Everything here is a byte string; nothing is trimmed or case-folded.
#include <functional>
#include <set>
#include <string>
#include <string_view>

namespace mg::naming {

// A local wall-clock reading with milliseconds.
struct LocalTime {
    int year = 0;        // four digits
    int month = 1;       // 1..12
    int day = 1;         // 1..31
    int hour = 0;        // 0..23
    int minute = 0;      // 0..59
    int second = 0;      // 0..59 (60 on a leap second)
    int millisecond = 0; // 0..999
};

// Reads the machine's clock in its own time zone.
LocalTime ReadLocalClock();

// The clock a batch reads when it needs a time stamp; tests pass a fixed one.
// An empty Clock reads the machine's clock (ReadLocalClock).
using Clock = std::function<LocalTime()>;

// "yyyymmddhhnnsszzz.": 18 characters, leading zeros, a dot at the end.
std::string TimeStamp(const LocalTime& t);

// The part of a path after its last "/" (the whole path when it has none).
// Only "/" separates: "a:b.jpg" is one name.
std::string NameOf(std::string_view path);

// A name cut just after its first dot ("a.b.jpg" gives "a."); a name with no
// dot is kept whole and gets one, so README gives "README.".
std::string StemOf(std::string_view name);

// folder + "/" + item. The "/" is always inserted, also after a folder that
// already ends with one (the root "/" gives "//item").
std::string SourcePath(std::string_view folder, std::string_view item);

// An output name split where the extension text begins: base is everything
// before the extension text (it always ends with a dot), extension is the
// window's extension text exactly as typed.
struct OutputName {
    std::string base;
    std::string extension;
    std::string Text() const { return base + extension; }
};

// The encrypt window's naming controls, read afresh for every file.
struct EncryptSettings {
    bool timeBased = true;         // rbTimeBased
    bool rot13 = false;            // rbRot13 (rbKeepExisting is never read)
    bool keepExtension = false;    // cbKeepExtension
    std::string extension = "Bin"; // txtExtension
};

// The decrypt window's naming controls, read afresh for every file.
struct DecryptSettings {
    bool useDateTime = false;      // cbUseDateTime
    bool keepExtension = false;    // cbKeepExtension
    std::string extension = "JPG"; // txtExtension
};

// The encrypt window's rules, first that applies: time stamp; else the name,
// turned by ROT-13 when rot13 is set, then either name + "." or its stem,
// then the extension text. The clock is read only in time-based mode.
OutputName EncryptOutputName(std::string_view name, const EncryptSettings& s, const Clock& clock);

// The decrypt window's rules, first that applies: time stamp; name + ".";
// stem; each followed by the extension text. No ROT-13 here.
OutputName DecryptOutputName(std::string_view name, const DecryptSettings& s, const Clock& clock);

// folder + "/" + output name, built like SourcePath.
std::string DestinationPath(std::string_view folder, const OutputName& out);

// Remembers the destinations one batch has written, so that a later file of
// the same batch never replaces an earlier one (equal time stamps, or
// photo.jpg and photo.png under the stem rule).
//
// Rule: a destination not yet written by this batch is used as built, even
// when it is an existing file or the source itself. Otherwise "-2", "-3", ...
// is inserted before the dot that precedes the extension text, and the first
// candidate that is free is taken: not written by this batch, not on disk
// (any kind of entry, a dangling link included) and not a selected source
// the batch has yet to read. A made-up name must never replace a file the
// user did not name:
//   photo.Bin -> photo-2.Bin -> photo-3.Bin
//   20240115093045123.Bin -> 20240115093045123-2.Bin
//   .Bin -> -2.Bin
// Only paths recorded with MarkWritten count, so a file the user skipped or
// that failed to be written does not push later names aside. Paths are
// compared after lexical normalisation ("//a" and "/a" are one file).
class BatchNames {
public:
    // The destination path for out in folder under the rule above.
    std::string Destination(std::string_view folder, const OutputName& out) const;
    // Records a path this batch has just written.
    void MarkWritten(std::string_view path);
    // Takes back a path recorded too early (a file not written after all).
    void Forget(std::string_view path);
    bool WasWritten(std::string_view path) const;
    // The selected sources, before the batch reads any; each leaves the set
    // when MarkProcessed says the batch is done with it.
    void AddPendingSource(std::string_view path);
    void MarkProcessed(std::string_view path);

private:
    bool Free(const std::string& path) const;

    std::set<std::string> written_;
    std::set<std::string> pending_;
};

} // namespace mg::naming
