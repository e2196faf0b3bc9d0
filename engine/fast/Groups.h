// Compress's groups of calls, each in one scan. Every group gives, byte for
// byte, what its calls of the pass table give one after the other; the
// calls themselves (ReplaceAll in Passes.h) stay the definition, and the
// tests compare the two.

#ifndef VELMAR_ENGINE_GROUPS_H_
#define VELMAR_ENGINE_GROUPS_H_

#include "Passes.h"

namespace velmar {

// Whether the line-break calls whose Search begins with CR can change
// anything: they act only on CRs and, with Webbots, on webbot tags, and the
// LF LF call between them makes neither. Most pages have no CR.
bool CrCallsMayChange(const WorkingState& state);

// The five blank calls: "    ", "   ", "  " and "  " by " ", then " >" by
// ">" where the ">" ends a tag.
void CollapseBlankGroup(WorkingState& state);

// The six short-tag calls: <strong, <em, <strike (whole names) by <b, <i,
// <s, and </strong>, </em>, </strike> by </b>, </i>, </s>.
void ShortenTagGroup(WorkingState& state);

}  // namespace velmar

#endif  // VELMAR_ENGINE_GROUPS_H_
