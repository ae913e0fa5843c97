// Battle files of any content: the line reader and the details of the panel.
#include "app/BattleFile.h"
#include "base/Errors.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    app::BattleDetailsSink sink;
    size_t handed = 0;
    sink.Side = [&](const std::string&) { ++handed; };
    sink.CurrentTurn = sink.Length = sink.Visibility = sink.Side;
    try {
        app::ParseBattleDetails(text, sink);
        if (handed != 4)
            __builtin_trap();
    } catch (const base::Exception&) {
    }
    app::MemorySource in(text);
    bool ended = false;
    size_t total = 0;
    for (int i = 0; i < 8; ++i)
        total += app::ReadBattleLine(in, ended).size();
    if (total > size)
        __builtin_trap();
    return 0;
}
