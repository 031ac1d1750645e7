#pragma once

#include <string>
#include <vector>

#include <QString>

#include "platform/file_operations.h"

class QWidget;

// The places that no delete, move or rename may touch: the root of the
// file system, every mount point, the home folder, the folders behind the
// namespace's own places (the desktop directory, the trash folders) and
// every folder that holds one of them. Every path that removes, moves or
// renames items asks here first, so that none of them can take the system
// or the user's home with it.
namespace platform {

enum class ChangeKind { Delete, Move, Rename };

// Why path must stay where it is; empty when it may be deleted, moved or
// renamed. A symbolic link is judged as itself, never by where it leads.
QString ProtectedPlaceReason(const std::string& path);

struct ProtectedPlace {
    std::string path;  // canonical
    QString what;
};

// The same judgement for many paths in a row (the entries of one folder):
// the mount table and the namespace's folders are read once, and the
// folder holding the paths is resolved once while it stays the same.
// Keep it only for one query; places that appear later are not known.
class ProtectedPlaceJudge {
public:
    QString ReasonFor(const std::string& path);

private:
    std::string LocationOf(const std::string& path);
    std::string LocationOfAny(const std::string& path);
    const std::vector<ProtectedPlace>& PlacesFor(const std::string& location);

    bool commonRead_ = false;
    bool trashRead_ = false;
    std::vector<ProtectedPlace> common_;
    std::vector<ProtectedPlace> withTrash_;
    std::string parent_;
    std::string canonicalParent_;
};

// The protected places among paths, in their order, judged as one query.
// Many paths are judged on a worker thread while the calling thread goes
// on with its events (input held back): a lookup per path on 100,000 paths
// would otherwise hold the window until the question or the refusal.
std::vector<TransferFailure> ProtectedAmong(const std::vector<std::string>& paths);

// When any of paths is a protected place: tells the user in one message
// which and why, adds them to refused (when given) and returns true; the
// caller then changes nothing at all.
bool RefuseProtectedPlaces(const std::vector<std::string>& paths, ChangeKind kind, QWidget* owner,
                           std::vector<TransferFailure>* refused = nullptr);

// The message of a refusal, for places that have no path of their own.
void ShowRefusal(const std::vector<TransferFailure>& refused, ChangeKind kind, QWidget* owner);

}  // namespace platform
