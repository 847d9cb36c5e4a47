#include "dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include "app/commands.h"

namespace sonivex {

namespace {

QMessageBox::Icon BoxIcon(Icon icon) {
    switch (icon) {
    case Icon::Information: return QMessageBox::Information;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Question: return QMessageBox::Question;
    case Icon::Critical: return QMessageBox::Critical;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

// Messages end their lines with CR LF; a message box wants LF alone.
QString MessageText(const std::string& text) {
    QString out = QString::fromLocal8Bit(text);
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}

// Yes, No, "Yes to All" and "No to All"; closing the box counts as No.
Answer AskWithAllButtons(QMessageBox& box) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll | QMessageBox::NoToAll);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::YesToAll: return Answer::YesToAll;
    case QMessageBox::NoToAll: return Answer::NoToAll;
    default: return Answer::No;
    }
}

}  // namespace

QString QtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromLocal8Bit(filter).split(QLatin1Char('|'));
    QStringList choices;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        // Qt reads the patterns from the description's parentheses, so those must be the real ones.
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open > 0 && description.endsWith(QLatin1Char(')'))) description = description.left(open).trimmed();
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        }
        choices << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return choices.join(QStringLiteral(";;"));
}

Answer RunMessageBox(QWidget* parent, const std::string& text, Buttons buttons, Icon icon, const std::string& title) {
    const QString caption = title.empty() ? QString::fromLatin1(kAppTitle) : QString::fromLocal8Bit(title);
    QMessageBox::StandardButtons shown = QMessageBox::Ok;
    if (buttons == Buttons::YesNo) shown = QMessageBox::Yes | QMessageBox::No;
    if (buttons == Buttons::YesNoCancel) shown = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QMessageBox box(BoxIcon(icon), caption, MessageText(text), shown, parent);
    box.setTextFormat(Qt::PlainText);  // file names may hold "<"
    if (buttons == Buttons::YesNoAll) return AskWithAllButtons(box);
    if (buttons == Buttons::YesNoCancel) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        const int pressed = box.exec();
        if (pressed == QMessageBox::Yes) return Answer::Yes;
        return pressed == QMessageBox::No ? Answer::No : Answer::Cancel;
    }
    if (buttons == Buttons::YesNo) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.exec();
    return Answer::Ok;
}

std::string RunFileDialog(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent, QString::fromLocal8Bit(request.title), QString::fromLocal8Bit(request.initialFolder));
    dialog.setObjectName(QStringLiteral("CD1"));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(QtFileFilter(request.filter));
    if (!request.initialName.empty()) dialog.selectFile(QString::fromLocal8Bit(request.initialName));
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return {};
    return WithDefaultExtension(chosen.constFirst().toLocal8Bit().toStdString(), request.defaultExtension);
}

}  // namespace sonivex
