#pragma once
// Finding a screen's controls the way the tests reach them: by their documented names
// (objectName), never through the screen's own members. A missing control fails the test run
// at once with its name.

#include <QRadioButton>
#include <QString>
#include <QWidget>

namespace testsupport {

template <typename W = QWidget>
W* Find(QWidget& screen, const QString& name) {
    W* w = screen.findChild<W*>(name);
    if (!w) qFatal("no control named %s on %s", qPrintable(name), qPrintable(screen.objectName()));
    return w;
}

// Element `index` of a control array: "Gop(0)", "絵(2)".
template <typename W = QWidget>
W* Find(QWidget& screen, const QString& array, int index) {
    return Find<W>(screen, QStringLiteral("%1(%2)").arg(array).arg(index));
}

// The index of the selected option of an array, -1 when none is selected.
inline int SelectedOption(QWidget& screen, const QString& array) {
    for (int i = 0;; ++i) {
        auto* option = screen.findChild<QRadioButton*>(QStringLiteral("%1(%2)").arg(array).arg(i));
        if (!option) return -1;
        if (option->isChecked()) return i;
    }
}

}  // namespace testsupport
