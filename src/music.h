// music.h - the four music operations of the shell, each a short fixed
// sequence of calls into the music library (midas11.dll, linked by ordinal).
//
// No result of the library is examined and nothing is reported: when the
// library cannot start or the module is missing, the game runs silent and
// the later calls still go through with whatever handles are held (the
// library accepts any handle).
//
// The shell decides when: MusicStartup once at start-up, GameMusicStart on
// New Game and GameMusicStop on Stop Game (and when the window goes during a
// game), both only while the option playMusic is on, MusicShutdown as the
// very last step.
#ifndef MUSIC_H
#define MUSIC_H

#include "midasdll.h"

struct SOUNDOPTIONS;

// What the main window keeps between the operations. module and playHandle
// keep their last values after a stop; only the next start overwrites them.
struct MUSICSTATE {
    MIDASmodule module;                 // module loaded by the last start
    MIDASmodulePlayHandle playHandle;   // its playback
    int loaded;                         // 1 from a start until the matching stop
};

// MIDASstartup, MIDASinit, MIDASstartBackgroundPlay(0).
void MusicStartup();

// module = MIDASloadModule(so.bgMusic), the name handed over unchanged;
// playHandle = MIDASplayModule(module, TRUE). If the previous game's module
// is somehow still loaded, it is stopped and freed first, so a second start
// never leaves an unreachable module playing.
void GameMusicStart(const SOUNDOPTIONS& so, MUSICSTATE& music);

// MIDASstopModule(playHandle), MIDASfreeModule(module).
void GameMusicStop(MUSICSTATE& music);

// MIDASstopBackgroundPlay, MIDASclose.
void MusicShutdown();

#endif // MUSIC_H
