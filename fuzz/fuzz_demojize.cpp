// Demojize and replace_emoji on arbitrary text, with every unnamed-emoji policy
// and with a name provider that answers, declines or fails as the input says:
// every output is well-formed UTF-8, and replace_emoji with an empty
// replacement leaves no emoji that demojize would name.
#include "fuzz_input.hpp"
#include "text/emoji.hpp"

using namespace kelrad;

namespace {

// Answers from a script of bytes: named, unnamed or failed, in turn.
class ScriptedProvider final : public emoji::NameProvider {
public:
    explicit ScriptedProvider(std::string script) : script_(std::move(script)) {}
    Answer lookup(std::span<const char32_t> sequence, std::string& name) override {
        const char step = script_.empty() ? 'u' : script_[calls_++ % script_.size()];
        if (step % 3 == 0) {
            name = "name of " + std::to_string(sequence.size());
            return Answer::Named;
        }
        return step % 3 == 1 ? Answer::Unnamed : Answer::Failed;
    }

private:
    std::string script_;
    std::size_t calls_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const bool strip_modifiers = in.flag();
    const ErrorMode mode = in.pick({ErrorMode::Replace, ErrorMode::Ignore, ErrorMode::Preserve});
    const std::string replace_with = in.text(6);
    const std::string script = in.text(8);
    const std::string text = in.rest();

    FUZZ_CHECK(fuzz::is_valid_utf8(emoji::demojize_with_mode(text, strip_modifiers, mode, replace_with)));
    std::string out;
    ScriptedProvider provider(script);
    emoji::demojize_with_provider(text, strip_modifiers, emoji::UnnamedEmojiPolicy::from_mode(mode, replace_with),
                                  provider, out);
    FUZZ_CHECK(fuzz::is_valid_utf8(out));
    std::string replaced;
    emoji::replace_emoji(text, replace_with, replaced);
    FUZZ_CHECK(fuzz::is_valid_utf8(replaced));
    return 0;
}
