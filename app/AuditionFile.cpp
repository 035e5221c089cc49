#include "app/AuditionFile.h"

#include <QWidget>

#include <utility>

#include "controls/MessageBox.h"
#include "jobs/JobRunner.h"
#include "res/StringTable.h"

void AuditionFile(JobRunner& jobs, JobLane lane, QWidget* parent, SlotModel& model,
                  const std::string& path, const VoiceOptions& options, bool convert,
                  std::function<void()> after) {
    jobs.Run<MadeRow>(
        lane, parent,
        [path, options, convert](const std::atomic<bool>& cancelled) {
            return SlotModel::MakeRow(path, options, convert, cancelled);
        },
        [parent, &model, after = std::move(after)](MadeRow row) {
            if (after) after();
            LoadFailure failure;
            if (model.AuditionRow(std::move(row), &failure)) return;
            MessageRequest request;
            request.parent = parent;
            request.stringId = IdsLoadError;
            request.informativeText = QString::fromStdString(failure.reason);
            (void)ShowMessage(std::move(request));
        });
}
