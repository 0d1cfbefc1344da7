// AboutDialog: the program's icon, name and version, a copyright line and OK.
#pragma once

#include <QDialog>

namespace kerris::clipmail {

class AboutDialog final : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent);
};

} // namespace kerris::clipmail
