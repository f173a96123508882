#pragma once

// A value that stays 0, ramps linearly to 1 between the fractions `from` and `to`
// of `duration`, and stays 1. It starts itself on its first update.
class FXScenarStage {
  public:
    bool changed = false; // the last update changed the value or started the stage
    bool restart = true;  // the next update takes its time as the start
    double start = 0.0;
    double duration = 0.0;
    float from = 0.0f;
    float to = 1.0f;
    float value = 0.0f;

    float UpdateStage(double time);
};
