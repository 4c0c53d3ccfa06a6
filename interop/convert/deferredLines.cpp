#include "interop/convert/deferredLines.h"

#include "interop/recover/report.h"

namespace interop::convert {

uint64_t DeferredLines::resolve(void *lines, uint64_t n) {
    return static_cast<DeferredLines *>(lines)->answer(n);
}

void DeferredLines::restart() {
    questions_.clear();
    answers_.clear();
    placed_ = false;
    outOfMemory_ = false;
}

uint64_t DeferredLines::ask(Question::Kind kind, std::string_view name, uint64_t given) {
    if (!questions_.emplace(kind, name, given)) {
        outOfMemory_ = true;
        return kind == Question::Property ? given : 0;
    }
    return Reporter::deferred(questions_.size() - 1);
}

uint64_t DeferredLines::value(uint64_t given) const {
    const uint64_t n = Reporter::deferredIndex(given);
    return n == Reporter::kNotDeferred ? given : n < answers_.size() ? answers_[n] : 0;
}

uint64_t DeferredLines::answer(uint64_t n) {
    if (n >= questions_.size()) return 0;
    const auto k = static_cast<size_t>(n);
    if (!placed_) {
        place();
        placed_ = true;
    }
    while (answers_.size() <= k) {
        if (!answers_.push(search(questions_[answers_.size()]))) {
            outOfMemory_ = true;
            return 0;
        }
    }
    return answers_[k];
}

} // namespace interop::convert
