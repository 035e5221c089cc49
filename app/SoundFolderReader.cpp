#include "app/SoundFolderReader.h"

#include <QFile>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/SoundList.h"
#include "app/SoundListModel.h"
#include "convert/PeakOverview.h"
#include "convert/SoundFiles.h"
#include "core/SlotModel.h"
#include "jobs/JobRunner.h"

namespace {

// Rows read either side of those shown, so a page scrolled is filled at once.
constexpr int DetailsMarginPages = 1;

// The folder's files, made into the list's rows on the worker.
struct Listing {
    bool ok = false;
    std::vector<SoundListModel::Entry> entries;
    QString why;
};

QString ToQt(const std::filesystem::path& path) { return QFile::decodeName(path.c_str()); }

std::string ToNative(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

SoundFolderReader::SoundFolderReader(const SlotModel& model, SoundList& list, JobRunner& jobs,
                                     QObject* parent)
    : QObject(parent), m_model(model), m_list(list), m_jobs(jobs) {
    m_detailsSoon.setSingleShot(true);
    m_detailsSoon.setInterval(0);
    connect(&m_detailsSoon, &QTimer::timeout, this, &SoundFolderReader::ReadDetails);
    connect(&m_list, &SoundList::ViewMoved, this, &SoundFolderReader::ReadDetailsSoon);
}

void SoundFolderReader::List(const QString& folderName) {
    m_jobs.Cancel(JobLane{JobLane::Kind::List});
    m_jobs.Cancel(JobLane{JobLane::Kind::Details});
    m_detailsReading = false;
    m_detailsAgain = false;
    m_list.Files().SetFiles({});
    m_list.setToolTip(QString());
    const quint64 listing = ++m_listing;
    const std::string folder = ToNative(folderName);
    m_jobs.Run<Listing>(
        JobLane{JobLane::Kind::List}, this,
        [folder](const std::atomic<bool>&) {
            Listing out;
            std::vector<std::filesystem::path> files;
            std::string why;
            // Every file the converter reads too: those the strict reader
            // refuses are listed greyed, with why and how to take them.
            out.ok = ListSoundFiles(folder, true, &files, &why);
            out.why = QString::fromStdString(why);
            out.entries.resize(files.size());
            for (size_t i = 0; i < files.size(); ++i) {
                SoundListModel::Entry& entry = out.entries[i];
                entry.path = ToQt(files[i]);
                entry.name = ToQt(files[i].filename());
            }
            return out;
        },
        [this, listing](Listing listed) {
            if (listing != m_listing) return;
            m_list.Files().SetFiles(std::move(listed.entries));
            if (!listed.ok) m_list.setToolTip(listed.why);
            ReadDetails();
        });
}

void SoundFolderReader::ReadDetailsSoon() {
    if (!m_detailsSoon.isActive()) m_detailsSoon.start();
}

// Reads the details of the rows shown and a page either side, one read at
// a time; a view moved meanwhile is read when it returns.
void SoundFolderReader::ReadDetails() {
    if (m_detailsReading) {
        m_detailsAgain = true;
        return;
    }
    SoundListModel& listed = m_list.Files();
    const int rows = listed.rowCount({});
    if (rows == 0) {
        emit DetailsFilled();
        return;
    }
    const QRect area = m_list.viewport()->rect();
    QModelIndex top = m_list.indexAt(area.topLeft());
    QModelIndex bottom = m_list.indexAt(QPoint(area.left(), area.bottom()));
    const int rowHeight = std::max(1, m_list.sizeHintForRow(0));
    const int page = std::max(1, area.height() / rowHeight);
    const int first = top.isValid() ? top.row() : 0;
    const int last = bottom.isValid() ? bottom.row() : std::min(rows - 1, first + page);
    const std::vector<int> asked =
        listed.AskUnread(first - DetailsMarginPages * page, last + DetailsMarginPages * page);
    if (asked.empty()) {
        emit DetailsFilled();
        return;
    }
    std::vector<std::pair<int, std::string>> files;
    files.reserve(asked.size());
    for (int index : asked)
        files.emplace_back(index, ToNative(listed.All()[static_cast<size_t>(index)].path));
    const quint64 listing = m_listing;
    const bool convert = m_model.ConvertFormats();
    m_detailsReading = true;
    m_jobs.Run<std::vector<SoundDetails>>(
        JobLane{JobLane::Kind::Details}, this,
        [files = std::move(files), convert](const std::atomic<bool>& cancelled) {
            std::vector<SoundDetails> out;
            out.reserve(files.size());
            for (const auto& [index, native] : files) {
                if (cancelled) break;
                SoundDetails details;
                details.index = index;
                std::string why;
                details.ok = ProbeSoundFile(native.c_str(), convert, &details.info, &why);
                details.why = QString::fromStdString(why);
                SourceInfo ignored;
                details.convertible = !details.ok && !convert &&
                                      ProbeSoundFile(native.c_str(), true, &ignored, nullptr);
                out.push_back(std::move(details));
            }
            return out;
        },
        [this, listing](const std::vector<SoundDetails>& read) {
            // The rows of an older listing are gone.
            if (listing != m_listing) return;
            m_detailsReading = false;
            m_detailsAgain = false;
            const bool convert = m_model.ConvertFormats();
            for (const SoundDetails& details : read) m_list.Files().SetDetails(details, convert);
            // Whatever the view shows now, and was not read yet.
            ReadDetails();
        });
}
