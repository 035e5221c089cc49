#pragma once

#include <QString>

#include <functional>
#include <string>

#include "core/SlotModel.h"

#include "jobs/JobRunner.h"
class QWidget;

// Plays the row that the file at path would make with options (and the
// conversion setting convert) through the model's audition voice: the row
// is made on a worker of jobs, in lane, and played once it is in. A row that
// cannot be made or does not start shows the load error with its reason
// over parent. after (may be empty) runs first when the result is in, on
// the GUI thread.
void AuditionFile(JobRunner& jobs, JobLane lane, QWidget* parent, SlotModel& model,
                  const std::string& path, const VoiceOptions& options, bool convert,
                  std::function<void()> after = {});
