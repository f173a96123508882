#include "shell/scenarstage.h"

float FXScenarStage::UpdateStage(double time) {
    changed = false;
    if (restart) {
        restart = false;
        changed = true;
        start = time;
    }
    float p = (float)((time - start) / duration);
    float result;
    // Written as "not past from" so that a zero duration at its start (0/0) gives 0.
    if (!(p > from)) {
        result = 0.0f;
    } else if (p >= to) {
        result = 1.0f;
    } else {
        result = (p - from) / (to - from);
    }
    if (result != value) {
        value = result;
        changed = true;
    }
    return value;
}
