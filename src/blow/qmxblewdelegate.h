#pragma once

#include <array>

// What a delegate of the blow detector may answer. A delegate is a QObject
// with these invokable methods; the detector asks before every call and
// skips what the delegate does not implement.
//
//   BlowAirstart(bool started)       once per start whose recorder got ready,
//                                    inside blowAirstart()
//   BlowAirupdataState(float level)  blow level 4..8 of each graded poll
//   BlowCurrentTotal(int capacity)   running capacity, right after each level
//   BlowAirOver(int capacity, int ranking)  once, at the end of a blow
//   wasInterrupt()                   inside interrupt(), after the stop
//   waitBlewTimeOut()                no blow within 10 s of waiting
struct QMXBlewDelegate {
    static constexpr const char* BlowAirstart = "BlowAirstart(bool)";
    static constexpr const char* BlowAirupdataState = "BlowAirupdataState(float)";
    static constexpr const char* BlowCurrentTotal = "BlowCurrentTotal(int)";
    static constexpr const char* BlowAirOver = "BlowAirOver(int,int)";
    static constexpr const char* wasInterrupt = "wasInterrupt()";
    static constexpr const char* waitBlewTimeOut = "waitBlewTimeOut()";

    // The detector calls by these signatures and no others, so a delegate
    // that has a method for each of them hears everything: a slot whose
    // signature drifts from its entry here is skipped without a word.
    static constexpr std::array<const char*, 6> kOperations{BlowAirstart,     BlowAirupdataState,
                                                            BlowCurrentTotal, BlowAirOver,
                                                            wasInterrupt,     waitBlewTimeOut};
};
