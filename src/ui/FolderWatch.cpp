#include "ui/FolderWatch.h"

#include <QFile>
#include <QFileSystemWatcher>

#include <algorithm>

FolderWatch::FolderWatch(QObject* parent) : QObject(parent), watcher_(new QFileSystemWatcher(this))
{
    quiet_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, &FolderWatch::Settle);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &FolderWatch::OnEvent);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &FolderWatch::OnEvent);
}

QString FolderWatch::PathOf(const std::string& name) const
{
    const std::string path = folder_ == "/" ? "/" + name : folder_ + "/" + name;
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

void FolderWatch::Follow(const std::string& nativeFolder, const std::vector<std::string>& patterns)
{
    Follow(nativeFolder, patterns, ops::TakeSnapshot(nativeFolder.empty() ? std::string(".") : nativeFolder, patterns));
}

void FolderWatch::Follow(const std::string& nativeFolder, const std::vector<std::string>& patterns,
                         ops::FolderSnapshot listed)
{
    std::string folder = nativeFolder.empty() ? std::string(".") : nativeFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const ops::FolderSnapshot now = std::move(listed);
    held_.clear();
    if (folder != folder_ || patterns != patterns_) {
        Stop();
        Refilled();
        folder_ = folder;
        patterns_ = patterns;
    }
    WatchFolder();
    WatchFiles(now);
    snapshot_ = now;
}

void FolderWatch::Stop()
{
    quiet_.stop();
    burst_.invalidate();
    held_.clear();
    snapshot_.clear();
    watched_.clear();
    folder_.clear();
    patterns_.clear();
    if (!watcher_->files().isEmpty())
        watcher_->removePaths(watcher_->files());
    if (!watcher_->directories().isEmpty())
        watcher_->removePaths(watcher_->directories());
}

void FolderWatch::Defer() { deferred_ = true; }

void FolderWatch::Begin()
{
    if (!deferred_)
        return;
    deferred_ = false;
    if (folder_.empty())
        return;
    // The folder first, so that nothing which comes while the files are compared goes unseen.
    WatchFolder();
    Settle();
}

void FolderWatch::Postpone(const std::vector<std::string>& names)
{
    held_.insert(names.begin(), names.end());
    if (!quiet_.isActive())
        quiet_.start(kQuietMs);
}

void FolderWatch::WatchFolder()
{
    if (deferred_)
        return;
    // A folder that was removed and made again is watched again.
    const QString folder = QFile::decodeName(QByteArray(folder_.data(), static_cast<qsizetype>(folder_.size())));
    if (!watcher_->directories().contains(folder) && QFile::exists(folder))
        watcher_->addPath(folder);
}

void FolderWatch::WatchFiles(const ops::FolderSnapshot& now)
{
    if (deferred_)
        return;
    std::vector<ops::FolderSnapshot::const_iterator> files;
    for (auto entry = now.begin(); entry != now.end(); ++entry)
        if (!entry->second.folder)
            files.push_back(entry);
    if (files.size() > kMostFilesWatched) {
        const auto newer = [](const auto& a, const auto& b) { return a->second.modifiedNs > b->second.modifiedNs; };
        std::nth_element(files.begin(), files.begin() + kMostFilesWatched, files.end(), newer);
        files.resize(kMostFilesWatched);
    }
    ops::FolderSnapshot wanted;
    for (const auto& entry : files)
        wanted.insert(*entry);
    QStringList gone, fresh;
    for (const auto& [name, stamp] : watched_) {
        const auto still = wanted.find(name);
        if (still == wanted.end() || !(still->second == stamp))
            gone << PathOf(name);
    }
    for (const auto& [name, stamp] : wanted) {
        const auto was = watched_.find(name);
        if (was == watched_.end() || !(was->second == stamp))
            fresh << PathOf(name);
    }
    if (!gone.isEmpty())
        watcher_->removePaths(gone);
    if (!fresh.isEmpty())
        watcher_->addPaths(fresh);
    watched_ = std::move(wanted);
}

void FolderWatch::OnEvent()
{
    if (!burst_.isValid())
        burst_.start();
    const qint64 left = kLongestWaitMs - burst_.elapsed();
    quiet_.start(static_cast<int>(std::clamp<qint64>(left, 0, kQuietMs)));
}

void FolderWatch::Settle()
{
    burst_.invalidate();
    if (folder_.empty())
        return;
    const ops::FolderSnapshot now = ops::TakeSnapshot(folder_, patterns_);
    std::vector<std::string> changed = ops::ChangedNames(snapshot_, now);
    for (const std::string& name : held_)
        if (!std::binary_search(changed.begin(), changed.end(), name))
            changed.insert(std::upper_bound(changed.begin(), changed.end(), name), name);
    held_.clear();
    WatchFolder();
    WatchFiles(now);
    snapshot_ = now;
    if (!changed.empty())
        emit Changed(changed);
}

bool FolderWatch::ShouldTell(const std::string& fault, const std::vector<std::string>& names)
{
    if (fault != fault_) {
        fault_ = fault;
        faultTold_ = false;
        Postpone(names);
        return false;
    }
    if (faultTold_)
        return false;
    faultTold_ = true;
    return true;
}

void FolderWatch::Refilled()
{
    fault_.clear();
    faultTold_ = false;
}
