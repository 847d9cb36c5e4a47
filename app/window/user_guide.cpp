#include "user_guide.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace sonivex {

QString UserGuideHtml() {
    QFile file(QStringLiteral(":/help/user-guide.html"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

UserGuideDialog::UserGuideDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("UserGuide"));
    setWindowTitle(QStringLiteral("Sonivex - User Guide"));
    auto* layout = new QVBoxLayout(this);
    page_ = new QTextBrowser(this);
    page_->setObjectName(QStringLiteral("UserGuidePage"));
    page_->setOpenExternalLinks(false);
    page_->setHtml(UserGuideHtml());
    page_->setToolTip(QString());
    layout->addWidget(page_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(640, 600);
}

}  // namespace sonivex
