#pragma once

#include <QList>

// Every bitmap id of the skin, ascending: the art program draws these and
// the build compiles them in.
[[nodiscard]] inline QList<int> SkinBitmapIds() {
    QList<int> ids{130, 132, 134, 135, 137, 138, 139, 140, 142,
                   143, 144, 146, 147, 148, 149, 163, 170};
    for (int id = 171; id <= 218; ++id) {
        ids.append(id);
    }
    return ids;
}
