#include "base/DisplayFacts.h"

#include <QStringList>
#include <array>
#include <utility>

namespace kivora {

namespace {

constexpr std::array<std::pair<OnsetSource, QStringView>, 4> OnsetWords{{{OnsetSource::Flip, u"flip"},
                                                                         {OnsetSource::Dxgi, u"dxgi"},
                                                                         {OnsetSource::Dwm, u"dwm"},
                                                                         {OnsetSource::Flush, u"flush"}}};
constexpr std::array<std::pair<Compositor, QStringView>, 5> CompositorWords{
    {{Compositor::No, u"no"},
     {Compositor::Yes, u"yes"},
     {Compositor::Bypassed, u"bypassed"},
     {Compositor::Wayland, u"wayland"},
     {Compositor::Unknown, u"unknown"}}};

template <typename Enum, std::size_t N>
QString wordOf(const std::array<std::pair<Enum, QStringView>, N> &words, Enum value) {
    for (const auto &[v, w] : words)
        if (v == value)
            return w.toString();
    return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> named(const std::array<std::pair<Enum, QStringView>, N> &words, QStringView word) {
    for (const auto &[v, w] : words)
        if (w == word)
            return v;
    return std::nullopt;
}

template <typename Enum, std::size_t N>
QString allWords(const std::array<std::pair<Enum, QStringView>, N> &words) {
    QStringList all;
    for (const auto &[v, w] : words)
        all << w.toString();
    return all.join(u", "_qs);
}

} // namespace

QString word(PresentMode mode) {
    return mode == PresentMode::Present ? u"present"_qs : u"timers"_qs;
}

QString word(OnsetSource source) {
    return wordOf(OnsetWords, source);
}

QString word(Compositor compositor) {
    return wordOf(CompositorWords, compositor);
}

std::optional<OnsetSource> onsetSourceNamed(QStringView word) {
    return named(OnsetWords, word);
}

std::optional<Compositor> compositorNamed(QStringView word) {
    return named(CompositorWords, word);
}

QString onsetSourceWords() {
    return allWords(OnsetWords);
}

QString compositorWords() {
    return allWords(CompositorWords);
}

bool onsetsExact(OnsetSource source, Compositor compositor) {
    const bool flipTime = source == OnsetSource::Flip || source == OnsetSource::Dxgi;
    const bool uncomposed = compositor == Compositor::No || compositor == Compositor::Bypassed;
    return flipTime && uncomposed;
}

QString whyNotExact(OnsetSource source, Compositor compositor) {
    if (onsetsExact(source, compositor))
        return {};
    // The first thing a lab can change comes first: the session, then the timing mode, then the
    // compositor.
    if (compositor == Compositor::Wayland)
        return u"a Wayland session: log in to an X11 session for exact onsets"_qs;
    if (source == OnsetSource::Flush)
        return u"the onsets are the moments the drawing reached the window system: each picture appears "
               u"within the refresh after its onset"_qs;
    if (source == OnsetSource::Dwm || source == OnsetSource::Dxgi)
        return u"Windows composes the window: onsets are estimates; check them with a photodiode"_qs;
    if (compositor == Compositor::Yes)
        return u"a compositing manager redirects the window: every picture reaches the screen one "
               u"compositor frame after its logged onset"_qs;
    return u"whether a compositor redirects the window cannot be asked (no Composite extension): every "
           u"onset may be a compositor frame early"_qs;
}

QString DisplayInfo::words() const {
    return u"mode=%1 period_us=%2 compositor=%3 onset=%4 exact=%5 "_qs.arg(word(mode))
               .arg(periodUs)
               .arg(word(compositor), word(onset), exact() ? u"1"_qs : u"0"_qs) +
           screenWords();
}

QString DisplayInfo::screenWords() const {
    const auto oneWord = [](QString text) { return text.isEmpty() ? u"-"_qs : text.replace(u' ', u'_'); };
    return u"fullscreen=%1 screen=%2 model=%3"_qs.arg(monitor.fullscreen ? u"1"_qs : u"0"_qs,
                                                      oneWord(monitor.screen), oneWord(monitor.model));
}

} // namespace kivora
