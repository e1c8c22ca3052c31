#include "widgets/Messages.h"

#include <QApplication>
#include <QMessageBox>

namespace Messages {
namespace {
std::function<void(const QString &, Kind)> &handler() {
    static std::function<void(const QString &, Kind)> h;
    return h;
}
} // namespace

void show(QWidget *parent, const QString &text, Kind kind) {
    if (handler()) {
        handler()(text, kind);
        return;
    }
    const QString title = QApplication::applicationDisplayName();
    switch (kind) {
    case Kind::Error:
        QMessageBox::critical(parent, title, text);
        break;
    case Kind::Warning:
        QMessageBox::warning(parent, title, text);
        break;
    case Kind::Information:
        QMessageBox::information(parent, title, text);
        break;
    }
}

void setHandler(std::function<void(const QString &, Kind)> h) { handler() = std::move(h); }
} // namespace Messages
