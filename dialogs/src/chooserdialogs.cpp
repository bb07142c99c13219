#include "dialogs/chooserdialogs.h"

#include <type_traits>

namespace tollvik {

ChooserDialogs::ChooserDialogs(ChooserBackend& backend) : m_backend(backend) {}

CustomColors& ChooserDialogs::customColors()
{
    if (!m_customColorsFilled) {
        for (int i = 0; i < static_cast<int>(m_customColors.size()); ++i)
            m_customColors[static_cast<std::size_t>(i)] = m_backend.systemColor(i);
        m_customColorsFilled = true;
    }
    return m_customColors;
}

qint32 ChooserDialogs::CustomColor(int i)
{
    if (i < 0 || i >= static_cast<int>(m_customColors.size()))
        return -1;
    return customColors()[static_cast<std::size_t>(i)];
}

void ChooserDialogs::CustomColor(int i, qint32 iValue)
{
    if (i < 0 || i >= static_cast<int>(m_customColors.size()))
        return;
    customColors()[static_cast<std::size_t>(i)] = iValue;
}

// The dialog works on a copy, so that only an accepted choice reaches the caller.
template <typename Args> Status ChooserDialogs::run(Args& args)
{
    m_apiReturn = 0;
    m_extendedError = 0;
    Args chosen = args;
    if constexpr (std::is_same_v<Args, ChooseColorArgs>)
        m_apiReturn = m_backend.show(chosen, customColors());
    else
        m_apiReturn = m_backend.show(chosen);
    if (m_apiReturn != 1) {
        m_apiReturn = 0;
        return fail(QStringLiteral("The dialog was cancelled"), Refusal::Cancelled);
    }
    args = chosen;
    return {};
}

Status ChooserDialogs::VBChooseColor(ChooseColorArgs& args)
{
    Status chosen = run(args);
    if (!chosen)
        args.Color = -1;
    return chosen;
}

Status ChooserDialogs::VBChooseFont(ChooseFontArgs& args)
{
    return run(args);
}

Status ChooserDialogs::VBPrintDlg(PrintDlgArgs& args)
{
    return run(args);
}

Status ChooserDialogs::VBPageSetupDlg(PageSetupDlgArgs& args)
{
    return run(args);
}

} // namespace tollvik
