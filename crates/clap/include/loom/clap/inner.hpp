#pragma once
// `Inner`: the CLAP wrapper's type-erased view of a plug-in object, with the first six
// operations of the plug-in contract, and `Adapter`, the one template that implements it for
// any `Plugin` type. The wrapper owns the plug-in object through this view.

#include "loom/core/param.hpp"
#include "loom/core/plugin.hpp"

#include <cstdint>
#include <memory>

namespace loom::clap {

class Inner {
public:
    virtual ~Inner() = default;

    // [main-thread] The plug-in's bus layout, copied from static data.
    virtual Layout layout() const = 0;
    // [main-thread] A new shared reference to the set the plug-in reads.
    virtual ParamSet params() const = 0;
    // [main-thread or audio-thread, never during process] Sizes and resets the plug-in.
    virtual void prepare(const PrepareContext& context) = 0;
    // [audio-thread] Processes the channel buffers in place.
    virtual void process(Buffers buffers, const ProcessContext& context) noexcept = 0;
    // [any-thread] Latency in samples.
    virtual std::uint32_t latency() const noexcept = 0;
    // [any-thread] Tail in samples.
    virtual std::uint32_t tail() const noexcept = 0;
};

// A plug-in object of type `P` behind `Inner`.
template <Plugin P>
class Adapter final : public Inner {
public:
    Layout layout() const override { return P::layout(); }
    ParamSet params() const override { return plugin.params(); }
    void prepare(const PrepareContext& context) override { plugin.prepare(context); }
    void process(Buffers buffers, const ProcessContext& context) noexcept override {
        plugin.process(buffers, context);
    }
    std::uint32_t latency() const noexcept override { return plugin.latency_samples(); }
    std::uint32_t tail() const noexcept override { return plugin.tail_samples(); }

    P plugin; // built by its default construction
};

// [main-thread] A default-constructed `P` behind `Inner`: what a factory hands to the wrapper.
template <Plugin P>
std::unique_ptr<Inner> make_inner() {
    return std::make_unique<Adapter<P>>();
}

} // namespace loom::clap
