#include "support/Words.h"

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <memory>

#include "support/Error.h"
#include "support/PerThread.h"

namespace qb {

void ForEachWordSpan(std::u16string_view text, const std::function<void(std::size_t, std::size_t)>& each) {
    if (text.empty()) return;
    // One iterator a thread: creating it loads the break rules.
    auto& it = PerThread<std::unique_ptr<icu::BreakIterator>>();
    if (!it) {
        UErrorCode status = U_ZERO_ERROR;
        it.reset(icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !it) {
            it.reset();
            throw Error("ICU word break rules are missing");
        }
    }
    const icu::UnicodeString alias(false, text.data(), static_cast<int32_t>(text.size()));
    it->setText(alias);
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        if (it->getRuleStatus() < UBRK_WORD_NONE_LIMIT) continue;
        each(static_cast<std::size_t>(start), static_cast<std::size_t>(end));
    }
}

}  // namespace qb
