#pragma once
// Follows the one folder whose list the window shows, so a mail attachment saved into the
// incoming folder or a battle saved by the game appears without Refresh. The folder and the files
// the list is made from are watched; a burst of changes (a game writing a file in pieces, an
// archive being copied in) is reported once, and only when what the list shows has changed.
#include "ops/FolderSnapshot.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <set>
#include <string>
#include <vector>

class QFileSystemWatcher;

class FolderWatch : public QObject {
    Q_OBJECT
public:
    // A burst is reported once it has been quiet this long...
    static constexpr int kQuietMs = 200;
    // ...and never later than this after its first change, so a new file shows within a second.
    static constexpr int kLongestWaitMs = 500;
    // Files watched one by one, the newest first (those a game or a copy is writing): a folder of
    // years of archives must not use up the watches the desktop has for everyone.
    static constexpr size_t kMostFilesWatched = 256;

    explicit FolderWatch(QObject* parent = nullptr);

    // Follows a native folder and its entries that match the patterns, taking their present state
    // as what the list shows; the folder followed before is let go. A folder that does not exist
    // is followed once it is followed again.
    void Follow(const std::string& nativeFolder, const std::vector<std::string>& patterns);
    // The same, with the state the list was made from (the fill's own snapshot).
    void Follow(const std::string& nativeFolder, const std::vector<std::string>& patterns, ops::FolderSnapshot listed);
    void Stop();
    // Until Begin(), Follow only takes note of what the list shows and sets no watch, so that a
    // window can set its watches after it first appears: they cost no time before it is seen.
    void Defer();
    // Sets the deferred watches, and reports whatever changed since the list was made.
    void Begin();
    // For a list that cannot refill just now (a dialog is open): the names are reported again
    // shortly, together with whatever changes meanwhile.
    void Postpone(const std::vector<std::string>& names);
    const std::string& Folder() const { return folder_; }

    // The list failed to refill after a change: whether to tell the player now. A file caught half
    // written (a game saving a battle in pieces) is tried again after a quiet spell before its
    // fault is told, and a fault is told once however often the folder changes afterwards.
    bool ShouldTell(const std::string& fault, const std::vector<std::string>& names);
    // The list refilled cleanly: the next fault is new again.
    void Refilled();

signals:
    // A change has settled: the names (as the disk holds them) that came, went or were rewritten.
    void Changed(const std::vector<std::string>& names);

private:
    void OnEvent();
    void Settle();
    void WatchFolder();
    // Rewritten and new files are watched afresh (a file renamed over another is a new file); gone
    // ones are let go.
    void WatchFiles(const ops::FolderSnapshot& now);
    QString PathOf(const std::string& name) const;

    QFileSystemWatcher* watcher_;
    QTimer quiet_;
    QElapsedTimer burst_;
    std::string folder_;
    std::vector<std::string> patterns_;
    ops::FolderSnapshot snapshot_;
    ops::FolderSnapshot watched_;  // the files watched one by one, as they were when watched
    std::set<std::string> held_;
    std::string fault_;  // the last fault of a refill, held back or told
    bool faultTold_ = false;
    bool deferred_ = false;
};
