#pragma once

#include <QDialog>

// The About box (template 100): icon, version text, legal notice and an OK
// button. It has no behaviour of its own; exec() returns Accepted on OK.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};
