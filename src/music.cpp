// music.cpp - the shell's music operations.
#include "music.h"

#include "options.h"

void MusicStartup()
{
    MIDASstartup();
    MIDASinit();
    // Background play: the library mixes on its own thread, so the
    // single-threaded game never has to poll it.
    MIDASstartBackgroundPlay(0);
}

void GameMusicStart(const SOUNDOPTIONS& so, MUSICSTATE& music)
{
    if (music.loaded)
        GameMusicStop(music);
    music.module = MIDASloadModule(so.bgMusic);
    music.playHandle = MIDASplayModule(music.module, TRUE);
    music.loaded = 1;
}

void GameMusicStop(MUSICSTATE& music)
{
    MIDASstopModule(music.playHandle);
    MIDASfreeModule(music.module);
    music.loaded = 0;
}

void MusicShutdown()
{
    MIDASstopBackgroundPlay();
    MIDASclose();
}
