// The About box (template 100).
#include "clipmail/about_dialog.h"

#include "clipmail/program_resources.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>

namespace kerris::clipmail {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutDialog");
    setWindowTitle(QString::fromUtf8(kAboutCaption));
    setWindowIcon(icon128());
    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap::fromImage(icon128Image()));
    icon->setAlignment(Qt::AlignTop);
    auto* version = new QLabel(QString::fromUtf8(kAboutVersion), this);
    version->setObjectName("version");
    auto* copyright = new QLabel(QString::fromUtf8(kAboutCopyright), this);
    copyright->setObjectName("copyright");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setHorizontalSpacing(16);
    layout->addWidget(icon, 0, 0, 2, 1);
    layout->addWidget(version, 0, 1);
    layout->addWidget(copyright, 1, 1);
    layout->addWidget(buttons, 0, 2, 2, 1, Qt::AlignTop);
}

} // namespace kerris::clipmail
