#include "voicebank/VoiceBankImage.h"

#include <cstring>

bool InitVoiceBankImage(VoiceBankImage* image) {
    if (image == nullptr) return false;
    std::memset(image, 0, sizeof *image);
    uint8_t* head = image->head.data();
    // Values go in host byte order; the builder turns the words big-endian
    // when it lays out a file.
    bank::ForEachHeadItem([head](const bank::FieldItem& item) {
        uint8_t* at = head + item.offset;
        if (item.field.initial == bank::Initial::Text) {
            std::memcpy(at, bank::Magic, item.field.width);
            return;
        }
        const uint32_t value = bank::InitialValue(item);
        switch (item.field.width) {
        case 1: *at = static_cast<uint8_t>(value); break;
        case 2: {
            const auto v = static_cast<uint16_t>(value);
            std::memcpy(at, &v, sizeof v);
            break;
        }
        case 4: std::memcpy(at, &value, sizeof value); break;
        default: break;  // wider fields start as zero
        }
    });
    return true;
}
