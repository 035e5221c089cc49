#include "app/RowOptions.h"

#include "app/ProfileStore.h"
#include "convert/RowOptionText.h"

namespace {

const QString SectionRowOptions = QStringLiteral("RowOptions");

QString Key(const RowOptionText& option, int slot) {
    return QString::fromLatin1(option.profileKey.data(),
                               static_cast<qsizetype>(option.profileKey.size())) +
           QString::asprintf("%02d", slot + 1);
}

}  // namespace

VoiceOptions ReadRowOptions(ProfileStore& profile, int slot) {
    VoiceOptions options;
    for (const RowOptionText& option : RowOptionTexts()) {
        const QString text = profile.GetProfileString(SectionRowOptions, Key(option, slot), {});
        std::string why;
        // A value that cannot be read leaves that option off.
        if (!text.isEmpty()) (void)option.parse(text.toStdString(), &options, &why);
    }
    return options;
}

void WriteRowOptions(ProfileStore& profile, int slot, const VoiceOptions& options) {
    for (const RowOptionText& option : RowOptionTexts()) {
        const std::string text = option.format(options);
        if (text.empty())
            profile.RemoveProfileKey(SectionRowOptions, Key(option, slot));
        else
            profile.WriteProfileString(SectionRowOptions, Key(option, slot),
                                       QString::fromStdString(text));
    }
}

QString DescribeRowOptions(const VoiceOptions& options, int64_t startFrame, int sourceRate,
                           const LoudnessApplied* loudness) {
    // The window does not keep whether a normalised row was silent.
    return QString::fromStdString(DescribeAppliedOptions(
        options, AppliedOptions{startFrame, sourceRate, options.normalize, loudness}));
}
