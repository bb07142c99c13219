// The converter module's one entry point.

#include "convert/module.h"

#include <QtGlobal>

extern "C" Q_DECL_EXPORT const tollvik::convert::ModuleCalls* tollvik_convert_calls()
{
    using namespace tollvik::convert;
    static const ModuleCalls calls{&slotTargets,  &convertIntoSlot, &speakIntoSlot,      &voices,
                                   &defaultVoice, &checkPlayable,   &failureOfException, &findVoice,
                                   &oggFormat};
    return &calls;
}
