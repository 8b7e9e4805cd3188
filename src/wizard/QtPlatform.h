#pragma once
#include <type_traits>
#include <utility>

#include <QCoreApplication>
#include <QThread>

#include "Utils/Platform.h"

namespace qb {

// Runs f on the application's thread and returns its result; from another
// thread (a run's) the caller waits until it has run there.
template <class F>
auto OnUiThread(F f) -> decltype(f()) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) return f();
    if constexpr (std::is_void_v<decltype(f())>) {
        QMetaObject::invokeMethod(app, std::move(f), Qt::BlockingQueuedConnection);
    } else {
        decltype(f()) result{};
        QMetaObject::invokeMethod(
            app, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

// Message boxes, the folder picker and "open" through Qt; each shown on the
// application's thread whatever thread asks for it.
PlatformServices QtPlatformServices();
// Maps the Windows font names the wizard and the language files use to fonts
// Debian has (metric-compatible where one exists). Call once a QApplication exists.
void InstallFontSubstitutes();

}  // namespace qb
