// Making the saver one of the user's xscreensaver display modes: an entry in the "programs:"
// list of ~/.xscreensaver, the file xscreensaver and its settings program share.
#ifndef MH_SHELL_REGISTER_POSIX_H
#define MH_SHELL_REGISTER_POSIX_H

enum FXRegisterResult {
    fxRegisterAdded,      // the entry was added
    fxRegisterPresent,    // the list already runs this program: the file is left alone
    fxRegisterNoSettings, // no settings file, or one without a list of modes: nothing written
    fxRegisterFailed      // the file could not be read or written
};

// Adds `command` (a program and its arguments, such as "mirehollow -root") as a GL mode at the
// top of the "programs:" list in the settings file `file`. Every other byte of the file stays
// as it was; the new file is written beside it and renamed over it. `message` gets a sentence
// for the user.
FXRegisterResult fxAddXScreenSaverMode(const char* file, const char* command, char* message, int size);

#endif
