#include "elements/phaser.h"

#include "assets/package.h"

void FXPhaser::OnRender(PEnv*, double t) {
    if (running && (t - start) >= duration) {
        if (!reverse) {
            if (loop && pingPong) {
                reverse = true;
            } else if (!loop) {
                running = false;
                phase = 1.0f;
            }
        } else {
            if (loop && pingPong) {
                reverse = false;
            } else if (!loop) {
                running = false;
                phase = 0.0f;
            }
        }
        wrapped = true;
        float e = (float)(t - start);
        if ((duration == 0.0 && e > 2.0f) || e > 2.0 * duration) {
            // More than a cycle behind (a long pause): resynchronise instead of racing
            // through the missed cycles.
            start = t;
        } else {
            // Advance by exactly one cycle so the rhythm does not depend on frame times.
            start = t + (duration - (t - start));
        }
    }
    if (!running) return;
    float v = (float)((t - start) / duration);
    if (v < 0.0f) v = 0.0f;
    if (v > 1.0f) v = 1.0f;
    if (smooth) {
        v = (v + v) * (1.0f - v) * v + v * v;
    } else if (halfSmooth) {
        float s = (v + v) * (1.0f - v) * v + v * v;
        v = (v + s) * 0.5f;
    }
    if (reverse) v = 1.0f - v;
    phase = v;
}

void FXPhaser::Restart(double t) {
    start = t;
    phase = 0.0f;
    running = true;
    wrapped = false;
    reverse = false;
}

float FXPhaser::GetOnOff(float a, float b) {
    if (a >= phase) return 1.0f;
    if (phase < b) return (b - phase) / (b - a);
    return 0.0f;
}

static void localWriteFlag(FILE* f, bool v) {
    unsigned char c = v ? 1 : 0;
    fwrite(&c, 1, 1, f);
}

// A flag is set only by the byte 1; a missing byte keeps the current value.
static bool localReadFlag(FILE* f, bool current) {
    unsigned char c;
    if (fread(&c, 1, 1, f) != 1) return current;
    return c == 1;
}

void FXPhaser::Save(FILE* f) {
    fwrite(&phase, 4, 1, f);
    fwrite(&duration, 8, 1, f);
    localWriteFlag(f, running);
    localWriteFlag(f, reverse);
    localWriteFlag(f, loop);
    localWriteFlag(f, pingPong);
    localWriteFlag(f, smooth);
    localWriteFlag(f, halfSmooth);
}

void FXPhaser::Load(FILE* f) {
    size_t got = fread(&phase, 4, 1, f);
    got += fread(&duration, 8, 1, f);
    (void)got;
    running = localReadFlag(f, running);
    reverse = localReadFlag(f, reverse);
    loop = localReadFlag(f, loop);
    pingPong = localReadFlag(f, pingPong);
    smooth = localReadFlag(f, smooth);
    halfSmooth = localReadFlag(f, halfSmooth);
}

void FXPhaser::LoadC(FXPackage*, FXPackageData* data) {
    if (!data) return;
    phase = data->ReadFloat();
    duration = data->ReadDouble();
    running = data->ReadBool();
    reverse = data->ReadBool();
    loop = data->ReadBool();
    pingPong = data->ReadBool();
    smooth = data->ReadBool();
    halfSmooth = data->ReadBool();
}

void FXPhaser1::OnRender(PEnv* env, double t) {
    if (autoRepeat) {
        // The way back is the last leg of a swing; after it the phaser rests.
        if (running && reverse) loop = false;
        if (!running && (t - start) >= interval) Restart(t);
    }
    FXPhaser::OnRender(env, t);
}

void FXPhaser1::Restart(double t) {
    FXPhaser::Restart(t);
    loop = true;
}
