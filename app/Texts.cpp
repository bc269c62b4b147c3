#include "app/Texts.h"

#include <cerrno>
#include <cstring>

#include "engine/SizeText.h"

namespace pelorin::texts {
namespace {

// `"literal" + string` trips a false -Wrestrict in GCC 12 at -O3; appending does not.
std::string joined(std::string_view head, const std::string& tail) {
    std::string text(head);
    text += tail;
    return text;
}

}  // namespace

AlertText alertFor(const Notice& notice) {
    const std::string& path = notice.path;
    switch (notice.kind) {
    case NoticeKind::ScanSourceUnreadable:
        return {"Error!", std::string(kDriveCannotOpen), "OK", {}};
    case NoticeKind::FirstSectorsUnreadable:
        return {std::string(kDriveCannotOpen), {}, "OK", joined("read Sect in app ctrl ", path)};
    case NoticeKind::SaveSourceUnreadable:
        return {std::string(kDriveCannotOpen), {}, "OK", joined("seve sect Drive Name ", path)};
    case NoticeKind::NotEnoughFreeSpace:
        return {"! Not enough free disk space",
                "The volume you have chosen to save data does not have enough free space to save selected media "
                "files.",
                "OK", {}};
    case NoticeKind::DestinationNotWritable:
        return {"! Cannot save", "The volume chosen to save recovered media files is not writable.", "OK", {}};
    case NoticeKind::SavingAborted:
        return {"Saving Aborted", joined("Saved location is: ", path), "OK", {}};
    case NoticeKind::SavingCompleted: {
        std::string message = joined("Saved at: ", path);
        if (notice.count == 1) message += "\n1 file could not be saved.";
        if (notice.count > 1) {
            message += '\n';
            message += std::to_string(notice.count);
            message += " files could not be saved.";
        }
        return {"Saving Completed", message, "OK", {}};
    }
    case NoticeKind::ScanInfoCannotCreate:
        return {"Error!", "Cannot create file at selected path", "OK", {}};
    case NoticeKind::ScanInfoCannotWrite:
        return {"Error!", "Cannot write file at selected path", "OK", {}};
    case NoticeKind::ScanInfoSaved:
        return {"Saving Scan information completed", joined("saved at ", path), "OK", {}};
    case NoticeKind::ScanInfoNotScanInfo:
        return {"Error", "Wrong file selected. Please select an appropriate scan info file and continue.", "OK", {}};
    case NoticeKind::ScanInfoCannotOpen:
        return {"! Error", "This scan info file cannot be opened.", "OK", {}};
    case NoticeKind::ScanInfoIncomplete:
        return {"! Error", "This scan info file is incomplete.", "OK", {}};
    }
    return {"Error!", {}, "OK", {}};
}

QuestionText questionFor(Question question) {
    switch (question) {
    case Question::StopSaving:
        return {"Do you want to stop the current saving process?", ""};
    }
    return {};
}

std::string sourceOpenFailure(const std::string& path, const SourceOpenFailure& why) {
    const std::string detail = why.detail.empty() ? std::string() : ": " + why.detail;
    switch (why.kind) {
    case SourceOpenFailure::System: {
        std::string message = joined("cannot open ", path);
        message += ": ";
        message += std::strerror(why.error);
        if (why.error == EACCES || why.error == EPERM)
            message += " (reading a raw device needs root or membership of the 'disk' group)";
        return message;
    }
    case SourceOpenFailure::EwfSegmentsMissing: return joined("cannot find the segments of ", path) + detail;
    case SourceOpenFailure::EwfUnreadable:
        return path + " is not a readable Expert Witness image (damaged or missing a segment)" + detail;
    case SourceOpenFailure::EwfCutShort: return path + " is damaged or cut short: its last byte cannot be read";
    }
    return joined("cannot open ", path);
}

std::string needsRightsAdvice(const std::string& path) {
    return joined("Reading ", path) +
           " needs more rights than this user has. Run Pelorin as root (sudo -E pelorin, or sudo pelorin-cli), or "
           "add the user to the 'disk' group (sudo adduser $USER disk, then log in again).";
}

std::string deviceAccessFailure(const std::string& path, const DeviceAccessResult& result) {
    using Outcome = DeviceAccessResult::Outcome;
    switch (result.outcome) {
    case Outcome::Opened: return {};
    case Outcome::NoSystemBus:
    case Outcome::NoService:
        return needsRightsAdvice(path) + " No disk service (UDisks2) was there to ask for them.";
    case Outcome::NotAuthorised:
        return joined("The system did not allow this user to read ", path) +
               ". An administrator can allow it, or run Pelorin as root.";
    case Outcome::Dismissed:
        return joined("The password prompt was closed, so ", path) + " was not opened. Try again to be asked again.";
    case Outcome::DeviceNotFound:
        return path + " is not there any more: the drive may have been removed. Attach it again and choose it again.";
    case Outcome::Failed: break;
    }
    std::string text = joined("The disk service (UDisks2) could not open ", path);
    if (!result.errorMessage.empty()) {
        text += ": ";
        text += result.errorMessage;
    }
    if (!result.errorName.empty()) {
        text += " (";
        text += result.errorName;
        text += ")";
    }
    text += '.';
    return text;
}

std::string askingForAccess(const std::string& path) {
    return joined("Waiting for permission to read ", path) + ". The system may ask for your password.";
}

std::string chosenDriveDescription(const std::string& name, const std::string& serial, uint64_t sizeInBytes) {
    return joined("Selected Drive: ", name) + "\n\nSerial: " + serial + "\n\nSize: " + sizeText(sizeInBytes);
}

ActivityText activityFor(Activity activity) {
    switch (activity) {
    case Activity::WritingScanInfo: return {"Save Scan Info", "Writing to file ...."};
    case Activity::ReadingScanInfo: return {"Open Scan Info", "Creating tree ...."};
    }
    return {};
}

}  // namespace pelorin::texts
