#pragma once
// The desktop of the tests: records every modal interaction and answers from a queue, so no
// test ever blocks on a window.
#include "base/Desktop.h"

#include <functional>
#include <deque>
#include <string>
#include <vector>

struct Shown {
    enum Kind { Message, Box, Input, Folder, Help, Start, Error, Password } kind;
    std::string text;     // message text, prompt, folder title, file
    std::string caption;  // caption, working directory, the folder a browser opens at
    unsigned flags = 0;
};

class ScriptedDesktop : public base::Desktop {
public:
    ScriptedDesktop() { base::SetDesktop(this); }
    ~ScriptedDesktop() override { base::SetDesktop(nullptr); }

    void ShowMessage(const std::string& text) override { shown.push_back({Shown::Message, text, {}, 0}); }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override
    {
        shown.push_back({Shown::Box, text, caption, flags});
        return Next(boxAnswers, base::IDOK);
    }
    bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value, int) override
    {
        shown.push_back({Shown::Input, prompt, caption, 0});
        if (inputAnswers.empty())
            return false;
        auto a = inputAnswers.front();
        inputAnswers.pop_front();
        if (a.first)
            value = a.second;
        return a.first;
    }
    std::optional<std::string> BrowseForFolder(const std::string& title) override
    {
        return BrowseForFolderAt(title, {});
    }
    std::optional<std::string> BrowseForFolderAt(const std::string& title, const std::string& startFolder) override
    {
        shown.push_back({Shown::Folder, title, startFolder, 0});
        if (folderAnswers.empty())
            return std::nullopt;
        auto a = folderAnswers.front();
        folderAnswers.pop_front();
        return a;
    }
    void ShowHelp(const std::string& helpFile) override { shown.push_back({Shown::Help, helpFile, {}, 0}); }
    std::string StartProgram(const std::string& file, const std::string& workDir) override
    {
        shown.push_back({Shown::Start, file, workDir, 0});
        return startError;
    }
    void ShowError(const std::string& text) override { shown.push_back({Shown::Error, text, {}, 0}); }
    void EnableWindows(bool enabled) override { windowsEnabled.push_back(enabled); }
    // A test that needs events during long work (a click on a real window) sets this.
    void LetEventsThrough() override
    {
        if (eventsDuringWork)
            eventsDuringWork();
    }
    bool PasswordQuery(const std::string& caption, const std::string& prompt, std::string& value) override
    {
        shown.push_back({Shown::Password, prompt, caption, 0});
        if (passwordAnswers.empty())
            return false;
        auto a = passwordAnswers.front();
        passwordAnswers.pop_front();
        value = a.first ? a.second : std::string();
        return a.first;
    }

    // Everything shown of one kind, in order.
    std::vector<Shown> Of(Shown::Kind kind) const
    {
        std::vector<Shown> out;
        for (const auto& s : shown)
            if (s.kind == kind)
                out.push_back(s);
        return out;
    }
    // The texts of every message, box and error, in order.
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> out;
        for (const auto& s : shown)
            if (s.kind == Shown::Message || s.kind == Shown::Box || s.kind == Shown::Error)
                out.push_back(s.text);
        return out;
    }
    std::vector<std::string> Errors() const
    {
        std::vector<std::string> out;
        for (const auto& s : shown)
            if (s.kind == Shown::Error)
                out.push_back(s.text);
        return out;
    }

    std::vector<Shown> shown;
    std::vector<bool> windowsEnabled;  // every EnableWindows call, in order
    std::function<void()> eventsDuringWork;
    std::string startError;  // what StartProgram answers: empty, the program started
    std::deque<int> boxAnswers;
    std::deque<std::pair<bool, std::string>> inputAnswers;
    std::deque<std::optional<std::string>> folderAnswers;
    std::deque<std::pair<bool, std::string>> passwordAnswers;  // (OK clicked, text typed)

private:
    static int Next(std::deque<int>& q, int fallback)
    {
        if (q.empty())
            return fallback;
        int v = q.front();
        q.pop_front();
        return v;
    }
};
