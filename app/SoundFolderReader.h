#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class JobRunner;
class SlotModel;
class SoundList;

// Fills the sound list with a folder's files and reads the details (length,
// channels, rate, bits) of the rows the list shows, and of a page either
// side, as it scrolls: a listing and one read of details at a time, on the
// browser's runner, an older listing's results dropped.
class SoundFolderReader : public QObject {
    Q_OBJECT
public:
    // All three must outlive the reader.
    SoundFolderReader(const SlotModel& model, SoundList& list, JobRunner& jobs,
                      QObject* parent = nullptr);

    // Empties the list and lists folder (native path) anew.
    void List(const QString& folder);
    // Reads the details of what the list shows, once the events in hand
    // are handled (gathers view moves into one read).
    void ReadDetailsSoon();

signals:
    // The folder's files are listed; the details of the rows shown (and
    // of a page either side) are in.
    void DetailsFilled();

private:
    void ReadDetails();

    const SlotModel& m_model;
    SoundList& m_list;
    JobRunner& m_jobs;
    QTimer m_detailsSoon;
    quint64 m_listing = 0;          // counts listings; details of an older one are dropped
    bool m_detailsReading = false;  // one read of details at a time
    bool m_detailsAgain = false;    // the view moved while it read
};
