#include "ui/WindowThreadDesktop.h"

#include <QApplication>
#include <QThread>

#include <exception>
#include <type_traits>

namespace ui {

WindowThreadDesktop::WindowThreadDesktop(base::Desktop& inner) : inner_(inner) {}

bool WindowThreadDesktop::OnWindowThread() const { return QThread::currentThread() == windowThread_.thread(); }

template <class Call>
auto WindowThreadDesktop::Marshalled(Call&& call) -> decltype(call())
{
    using Result = decltype(call());
    if (OnWindowThread())
        return call();
    std::exception_ptr failure;
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(
            &windowThread_,
            [&] {
                try {
                    call();
                } catch (...) {
                    failure = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (failure)
            std::rethrow_exception(failure);
    } else {
        Result result {};
        QMetaObject::invokeMethod(
            &windowThread_,
            [&] {
                try {
                    result = call();
                } catch (...) {
                    failure = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (failure)
            std::rethrow_exception(failure);
        return result;
    }
}

template <class Call>
auto WindowThreadDesktop::Asked(Call&& call) -> decltype(call())
{
    return Marshalled([&] {
        struct ArrowWhileAsking {
            ArrowWhileAsking() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
            ~ArrowWhileAsking() { QApplication::restoreOverrideCursor(); }
        } arrow;
        return call();
    });
}

void WindowThreadDesktop::ShowMessage(const std::string& text)
{
    Asked([&] { inner_.ShowMessage(text); });
}

int WindowThreadDesktop::MessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    return Asked([&] { return inner_.MessageBox(text, caption, flags); });
}

bool WindowThreadDesktop::InputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                                     int maxLength)
{
    return Asked([&] { return inner_.InputQuery(caption, prompt, value, maxLength); });
}

std::optional<std::string> WindowThreadDesktop::BrowseForFolder(const std::string& title)
{
    return Asked([&] { return inner_.BrowseForFolder(title); });
}

std::optional<std::string> WindowThreadDesktop::BrowseForFolderAt(const std::string& title,
                                                                  const std::string& startFolder)
{
    return Asked([&] { return inner_.BrowseForFolderAt(title, startFolder); });
}

void WindowThreadDesktop::ShowHelp(const std::string& helpFile)
{
    Marshalled([&] { inner_.ShowHelp(helpFile); });
}

std::string WindowThreadDesktop::StartProgram(const std::string& file, const std::string& workDir)
{
    return Marshalled([&] { return inner_.StartProgram(file, workDir); });
}

void WindowThreadDesktop::ShowError(const std::string& text)
{
    Asked([&] { inner_.ShowError(text); });
}

void WindowThreadDesktop::SetBusyCursor(bool busy)
{
    Marshalled([&] { inner_.SetBusyCursor(busy); });
}

void WindowThreadDesktop::EnableWindows(bool enabled)
{
    Marshalled([&] { inner_.EnableWindows(enabled); });
}

void WindowThreadDesktop::LetEventsThrough()
{
    // The window's thread runs its own event loop while the work goes on.
    if (OnWindowThread())
        inner_.LetEventsThrough();
}

bool WindowThreadDesktop::PasswordQuery(const std::string& caption, const std::string& prompt, std::string& value)
{
    return Asked([&] { return inner_.PasswordQuery(caption, prompt, value); });
}

}  // namespace ui
