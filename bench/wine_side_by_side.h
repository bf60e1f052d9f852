// What Wine's own loader pays for the registry of a prefix, beside what the
// wizard pays for the same files.
//
// Wine cannot start on a prefix made of generated registry files alone: it
// needs the keys and files of a prefix it made itself. So both sides run on
// two prefixes that Wine accepts, made once by `wineboot -i` in a temporary
// folder (about 20 s and 700 MB, removed at the end):
//   - "wineboot": the prefix exactly as `wineboot -i` left it;
//   - "grown": the same prefix with the generated keys of a second
//     wineboot-sized prefix (1.7 MB in system.reg) added to its registry
//     files.
// The registry files are swapped in before each run. Wine's runs come
// first, then the wizard's (twice as many, they are short), each alternating
// between the two prefixes.
// What is compared is the difference grown - wineboot: the price of 1.7 MB
// more registry text, once for Wine, once for the wizard.
//
// Wine's side is a whole `wine reg query` of one value with no wineserver
// running, so that its server starts and loads the registry files as at a
// user's first program of a session; the server is stopped (not timed)
// after each run. That start also runs Wine's own services, which read the
// registry too, so Wine's difference is everything the extra keys cost a
// Wine session's first program, not only the parsing of the files by its
// server. The wizard's side is its start to the welcome page's first paint.
// A Wine start varies by hundreds of milliseconds on a busy machine: its
// difference is a rough figure, to be read against its own medians.
#pragma once

#include <functional>
#include <string>

namespace bench {

// Makes the prefixes, times `runs` alternating runs of each side and prints
// the medians and the two differences; prints why instead when Wine is not on
// PATH or a step fails. startWizard(prefixRoot) starts the wizard on a prefix
// and returns its seconds to screen, negative on failure.
void PrintWineSideBySide(const std::function<double(const std::string&)>& startWizard, int runs);

}  // namespace bench
