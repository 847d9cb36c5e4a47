#include "playback/player/port_fallback.h"

#include <utility>

namespace sonivex {

namespace {

// A player that holds no song and does nothing: what plays when no synthesizer could be made either.
class SilentPlayer : public Player {
public:
    bool Open(const std::string&) override { return false; }
    void Play(std::int64_t, std::int64_t) override {}
    void Pause() override {}
    void Stop() override {}
    void Seek(std::int64_t) override {}
    std::int64_t PositionTicks() const override { return 0; }
    std::int64_t LengthTicks() const override { return 0; }
    std::string Mode() const override { return "stopped"; }
    void Silence(const SilencedTracks&) override {}
};

}  // namespace

PortWithFallback::PortWithFallback(std::unique_ptr<Player> port, PortProblem problem, PlayerFactory makeSynthesizer,
                                   FallbackNotice notice)
    : port_(std::move(port)),
      problem_(std::move(problem)),
      makeSynthesizer_(std::move(makeSynthesizer)),
      notice_(std::move(notice)) {}

Player* PortWithFallback::Current() const {
    if (port_ == nullptr) return synthesizer_.get();
    const std::optional<std::string> problem = problem_();
    if (!problem) return port_.get();
    const std::int64_t position = port_->PositionTicks();
    port_.reset();
    synthesizer_ = makeSynthesizer_ ? makeSynthesizer_() : nullptr;
    if (synthesizer_ == nullptr) synthesizer_ = std::make_unique<SilentPlayer>();
    synthesizer_->Silence(silenced_);
    if (!path_.empty() && synthesizer_->Open(path_)) synthesizer_->Seek(position);
    if (notice_) notice_(*problem + ". Sonivex plays through the built-in synthesizer (FluidSynth) from now on.");
    return synthesizer_.get();
}

bool PortWithFallback::Open(const std::string& path) {
    const bool opened = Current()->Open(path);
    path_ = opened ? path : std::string();
    return opened;
}

void PortWithFallback::Play(std::int64_t fromTick, std::int64_t toTick) { Current()->Play(fromTick, toTick); }
void PortWithFallback::Pause() { Current()->Pause(); }
void PortWithFallback::Stop() { Current()->Stop(); }
void PortWithFallback::Seek(std::int64_t tick) { Current()->Seek(tick); }
std::int64_t PortWithFallback::PositionTicks() const { return Current()->PositionTicks(); }
std::int64_t PortWithFallback::LengthTicks() const { return Current()->LengthTicks(); }
std::string PortWithFallback::Mode() const { return Current()->Mode(); }

void PortWithFallback::Silence(const SilencedTracks& tracks) {
    silenced_ = tracks;
    Current()->Silence(tracks);
}

}  // namespace sonivex
