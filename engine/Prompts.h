#pragma once
// What the libraries tell the user about and ask of the user, as values. The
// libraries never hold a word of their own: the command-line tool and the
// desktop application give each notice, question and activity its text
// (app/Texts.h) and show it their own way.

#include <cstdint>
#include <optional>
#include <string>

namespace pelorin {

enum class NoticeKind {
    // The scan's source cannot be opened, or has gone while the scan ran.
    ScanSourceUnreadable,
    // Reading the source's first sectors failed (start of a scan, opening a scan-info file).
    FirstSectorsUnreadable,
    // Reading a file's sectors for saving failed.
    SaveSourceUnreadable,
    NotEnoughFreeSpace,
    DestinationNotWritable,
    SavingAborted,         // path: the destination
    SavingCompleted,       // path: the destination; count: files that could not be saved
    ScanInfoCannotCreate,
    ScanInfoCannotWrite,
    ScanInfoSaved,         // path: the path the user chose
    ScanInfoNotScanInfo,   // the extension is not .rvx
    ScanInfoCannotOpen,    // the file is not there, or may not be read
    ScanInfoIncomplete,
};

struct Notice {
    NoticeKind kind;
    std::string path = {};  // the file, folder or device the notice is about
    int32_t count = 0;
};

enum class Question {
    StopSaving,  // "Yes" stops the save
};

// A short task during which a small information panel shows.
enum class Activity {
    WritingScanInfo,
    ReadingScanInfo,
};

// The receiving side of notices. A modal implementation returns once the
// user has dismissed the notice.
class Notices {
public:
    virtual ~Notices() = default;
    virtual void notify(const Notice& notice) = 0;
};

// One progress message of a save; only the fields that are set apply.
struct SaveProgressUpdate {
    std::optional<uint64_t> barMinimumValue = std::nullopt;
    std::optional<uint64_t> barMaximumValue = std::nullopt;
    std::optional<uint64_t> savedData = std::nullopt;
    std::optional<uint64_t> barIncrement = std::nullopt;
    std::optional<uint64_t> barDoubleValue = std::nullopt;
    // Shown after the fields above are applied.
    int32_t filesSaved = 0;
};

// What saving and the scan-info files ask of whoever shows things to the
// user. They may call these from a worker thread; an implementation runs them
// where its toolkit wants and returns when done.
class Prompts : public Notices {
public:
    // A modal question; true for "Yes".
    virtual bool ask(Question question) = 0;
    virtual void updateTreeProgress(const SaveProgressUpdate& update) = 0;
    virtual void startActivity(Activity /*activity*/) {}
    virtual void stopActivity() {}
};

}  // namespace pelorin
