#include "results/ClassFolder.h"

#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace kivora {

ClassFolder::ClassFolder(QString folder, RtLimits limits, std::function<QDateTime()> now)
    : m_folder(std::move(folder)), m_limits(limits), m_now(std::move(now)) {}

bool ClassFolder::rescan() {
    const QDateTime now = m_now();
    const QFileInfo root(m_folder);
    if (!root.isDir() || !root.isReadable()) {
        // Gone (a network drop, a stick pulled) or closed to us: what was read stays shown.
        if (m_unreachableSince)
            return false;
        m_unreachableSince = now;
        return true;
    }
    bool changed = std::exchange(m_unreachableSince, std::nullopt).has_value();

    const QFileInfoList entries = runFolderEntries(m_folder);
    QSet<QString> seen;
    QSet<QString> means;
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        const EntryRole role = entryRole(name, entry.isDir());
        if (role == EntryRole::MeansFile)
            means.insert(name);
        if (role != EntryRole::DataFile)
            continue;
        seen.insert(name);
        const qint64 size = entry.size();
        const QDateTime modified = entry.lastModified();
        auto [known, added] = m_files.try_emplace(name);
        Known &file = known->second;
        if (added)
            file.number = m_nextNumber++;
        else if (file.size == size && file.modified == modified)
            continue;
        // What the listing said is kept, not what the read found: a file that grew between the
        // two differs at the next listing and is read again.
        file.size = size;
        file.modified = modified;
        // A file of the first listing dates from its own time; a change seen later, from now
        // (a network folder's clock may differ from ours).
        file.changedAt = m_listed ? now : std::min(modified, now);
        auto read = readRunEntry(entry.filePath(), name, UnendedRecord::LeftOut);
        ++m_reads;
        if (auto *run = std::get_if<RunFile>(&read)) {
            file.run = std::move(*run);
        } else {
            file.run.reset();
            file.skipped = std::get<SkippedFile>(std::move(read));
        }
        changed = true;
    }
    m_listed = true;
    for (auto it = m_files.begin(); it != m_files.end();) {
        if (!seen.contains(it->first)) {
            it = m_files.erase(it);
            changed = true;
            continue;
        }
        Known &file = it->second;
        if (file.run) {
            const bool complete = means.contains(meansFileOf(it->first));
            const bool writing = !complete && file.changedAt.secsTo(now) < WritingSeconds;
            changed = changed || complete != file.run->complete || writing != file.writing;
            file.run->complete = complete;
            file.writing = writing;
        }
        ++it;
    }
    return changed;
}

ClassState ClassFolder::state() const {
    std::vector<std::pair<const QString *, const Known *>> byNumber;
    for (const auto &[name, file] : m_files)
        byNumber.emplace_back(&name, &file);
    std::sort(byNumber.begin(), byNumber.end(),
              [](const auto &a, const auto &b) { return a.second->number < b.second->number; });

    ClassState state;
    state.unreachableSince = m_unreachableSince;
    RunFolder read;
    for (const auto &[name, file] : byNumber) {
        ClassRow row;
        row.number = file->number;
        row.fileName = *name;
        if (file->run) {
            row.run = int(read.runs.size());
            row.writing = file->writing;
            read.runs.push_back(*file->run);
            ++(file->run->complete ? state.complete : state.incomplete);
            state.writing += int(row.writing);
        } else {
            row.skipped = file->skipped;
            read.skipped.push_back(file->skipped);
            ++state.unreadable;
        }
        state.rows.push_back(std::move(row));
    }
    state.report = makeReport(m_folder, std::move(read), m_limits);
    return state;
}

} // namespace kivora
