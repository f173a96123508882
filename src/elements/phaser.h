#pragma once

#include <cstdio>

class PEnv;
class FXPackage;
class FXPackageData;

// Turns the clock into a phase 0..1: a one-shot ramp, a saw-tooth, or a back-and-forth
// swing, optionally eased. Advance with OnRender once per frame, then read `phase`.
class FXPhaser {
  public:
    float phase = 0.0f;
    bool running = true;
    bool reverse = false; // output mirrored: the swing is on its way back
    bool loop = true;
    bool pingPong = false;
    bool wrapped = false; // a cycle has ended since the last Restart
    double start = 0.0;
    double duration = 1.0;
    bool smooth = false;     // ease with 3v^2 - 2v^3
    bool halfSmooth = false; // ease with the mean of v and 3v^2 - 2v^3

    virtual void OnRender(PEnv* env, double t);
    virtual ~FXPhaser() {}
    void Restart(double t);
    // Falling ramp: 1 up to phase a, 0 from phase b on.
    float GetOnOff(float a, float b);

    // 18-byte record: phase, duration (double), running, reverse, loop, pingPong,
    // smooth, halfSmooth.
    void Save(FILE* f);
    void Load(FILE* f);
    void LoadC(FXPackage* pck, FXPackageData* data);
};

// A swing that, with autoRepeat, rests `interval` seconds at phase 0 and swings again.
class FXPhaser1 : public FXPhaser {
  public:
    bool autoRepeat = false;
    double interval = 0.0;

    void OnRender(PEnv* env, double t) override;
    void Restart(double t);
};
