#include "player/commandChannel.h"

#include "player/replyReader.h"
#include "protocol.h"

#include <cstring>
#include <string>

bool writeCommand(FILE* fifo, const char* command)
{
    size_t length = strlen(command);
    return fwrite(command, 1, length, fifo) == length;
}

bool flushCommands(FILE* fifo)
{
    return fflush(fifo) == 0;
}

MenuState queryMenuVisibility(FILE* fifo, ReplyReader& playerOutput, int timeoutMs)
{
    MenuState state;
    if (!writeCommand(fifo, (std::string(kMenuQuery) + "\n").c_str()) || !flushCommands(fifo)) {
        state.playerGone = true;
        return state;
    }
    playerOutput.expectAnswer();
    switch (playerOutput.waitForAnswer(timeoutMs, &state.visible)) {
    case ReplyReader::Answered:
        break;
    case ReplyReader::TimedOut:
        fprintf(stderr, "tamblin: no answer from the player, taking its menu as hidden\n");
        break;
    case ReplyReader::Ended:
        state.playerGone = true;
        break;
    }
    return state;
}
