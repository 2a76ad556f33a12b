// netcodec.cpp - frames on the wire: the encoder and the checking reader.
#include "netplay.h"

#include <string.h>

namespace
{

const char NET_MAGIC[NET_MAGIC_LEN] = {'S', 'T', 'K', 'N', 'E', 'T', '2', 'P'};

// Payload sizes; every type has exactly one.
const int HELLO_LEN = NET_MAGIC_LEN + 2;
const int BOARD_LEN = NET_BOARD_CELLS + 1 + 2 * TETRAD_CELLS + 4;

int PayloadLength(int type)
{
    switch (type) {
    case NETMSG_HELLO:
        return HELLO_LEN;
    case NETMSG_START:
        return 4;
    case NETMSG_BOARD:
        return BOARD_LEN;
    case NETMSG_ROWS:
    case NETMSG_PAUSE:
        return 1;
    default:
        return 0;
    }
}

void Put32(BYTE* p, DWORD v)
{
    p[0] = (BYTE)(v >> 24);
    p[1] = (BYTE)(v >> 16);
    p[2] = (BYTE)(v >> 8);
    p[3] = (BYTE)v;
}

DWORD Get32(const BYTE* p)
{
    return ((DWORD)p[0] << 24) | ((DWORD)p[1] << 16) | ((DWORD)p[2] << 8) | p[3];
}

int BoardOk(const MATCHBOARD& b)
{
    for (int x = 0; x < WELL_COLS; x++)
        for (int y = 0; y < WELL_ROWS; y++)
            if (b.cells[x][y] > RISING_CELL)
                return 0;
    if (b.pieceColor == MATCH_NO_PIECE) {
        for (int k = 0; k < TETRAD_CELLS; k++)
            if (b.px[k] || b.py[k])
                return 0;
        return 1;
    }
    if (b.pieceColor >= TETRAD_TYPES)
        return 0;
    for (int k = 0; k < TETRAD_CELLS; k++)
        if (b.px[k] >= WELL_COLS || b.py[k] >= WELL_ROWS)
            return 0;
    return 1;
}

} // namespace

int NetEncode(const NETMSG& m, BYTE* out, int cap)
{
    if (m.type < NETMSG_HELLO || m.type > NETMSG_LAST)
        return 0;
    int n = PayloadLength(m.type);
    if (!out || cap < NET_HEADER + n)
        return 0;
    out[0] = (BYTE)((n + 1) >> 8);
    out[1] = (BYTE)(n + 1);
    out[2] = (BYTE)m.type;
    BYTE* p = out + NET_HEADER;
    switch (m.type) {
    case NETMSG_HELLO:
        memcpy(p, NET_MAGIC, NET_MAGIC_LEN);
        p[NET_MAGIC_LEN] = (BYTE)(NET_VERSION >> 8);
        p[NET_MAGIC_LEN + 1] = (BYTE)NET_VERSION;
        break;
    case NETMSG_START:
        if (m.seed == 0)
            return 0;
        Put32(p, m.seed);
        break;
    case NETMSG_ROWS:
        if (m.count != 1 && m.count != 2 && m.count != 4)
            return 0;
        p[0] = (BYTE)m.count;
        break;
    case NETMSG_PAUSE:
        p[0] = m.flag ? 1 : 0;
        break;
    case NETMSG_BOARD: {
        if (!BoardOk(m.board))
            return 0;
        memset(p, 0, NET_BOARD_CELLS);
        for (int i = 0; i < WELL_COLS * WELL_ROWS; i++) {
            BYTE v = m.board.cells[i % WELL_COLS][i / WELL_COLS];
            p[i / 2] |= (BYTE)(i % 2 ? v : v << 4);
        }
        BYTE* q = p + NET_BOARD_CELLS;
        *q++ = m.board.pieceColor;
        for (int k = 0; k < TETRAD_CELLS; k++) {
            *q++ = m.board.px[k];
            *q++ = m.board.py[k];
        }
        Put32(q, m.board.score);
        break;
    }
    }
    return NET_HEADER + n;
}

void NetReader::Reset(int isHost)
{
    used = 0;
    counted = 0;
    host = isHost;
    helloSeen = 0;
    matchBegun = 0;
    error = 0;
}

int NetReader::Append(const BYTE* data, int n)
{
    if (n <= 0 || !data)
        return 0;
    if (n > Space())
        n = Space();
    memcpy(buf + used, data, n);
    used += n;
    return n;
}

int NetReader::Arrived()
{
    int n = 0;
    while (counted + 2 <= used) {
        int len = (buf[counted] << 8) | buf[counted + 1];
        if (len < 1 || counted + 2 + len > used)
            break; // incomplete, or refused when it is read
        counted += 2 + len;
        n++;
    }
    return n;
}

int NetReader::Next(NETMSG* m)
{
    if (error)
        return error;
    if (used < 2)
        return NET_NEED;
    // Refuse an oversized frame from its length alone, before waiting for it.
    int len = (buf[0] << 8) | buf[1];
    // Before a hello, a long first frame is another program talking.
    if (!helloSeen && NET_HEADER - 1 + len > NET_MAX_FRAME)
        return error = NET_INCOMPATIBLE;
    if (len < 1 || NET_HEADER - 1 + len > NET_MAX_FRAME)
        return error = NET_BAD;
    if (used < 2 + len)
        return NET_NEED;
    int r = Check(buf[2], buf + NET_HEADER, len - 1, m);
    memmove(buf, buf + 2 + len, used - (2 + len));
    used -= 2 + len;
    counted = counted > 2 + len ? counted - (2 + len) : 0;
    if (r != NET_FRAME)
        error = r;
    return r;
}

int NetReader::Check(int type, const BYTE* p, int n, NETMSG* m)
{
    if (type < NETMSG_HELLO || type > NETMSG_LAST)
        return NET_BAD;
    memset(m, 0, sizeof *m);
    m->type = type;
    // The hello tells another program or version apart from bad data, so it
    // is judged before its length.
    if (!helloSeen) {
        if (type != NETMSG_HELLO)
            return NET_BAD;
        if (n != HELLO_LEN || memcmp(p, NET_MAGIC, NET_MAGIC_LEN) != 0 ||
            ((p[NET_MAGIC_LEN] << 8) | p[NET_MAGIC_LEN + 1]) != NET_VERSION)
            return NET_INCOMPATIBLE;
        helloSeen = 1;
        return NET_FRAME;
    }
    if (n != PayloadLength(type) || type == NETMSG_HELLO)
        return NET_BAD;
    switch (type) {
    case NETMSG_BUSY:
        return host ? NET_BAD : NET_FRAME;
    case NETMSG_HEARTBEAT:
        return NET_FRAME;
    case NETMSG_REQSTART:
        return host ? NET_FRAME : NET_BAD;
    case NETMSG_START:
        m->seed = Get32(p);
        if (host || m->seed == 0)
            return NET_BAD;
        matchBegun = 1;
        return NET_FRAME;
    }
    // What is left belongs to a match: nothing of it before the first one.
    if (!matchBegun)
        return NET_BAD;
    switch (type) {
    case NETMSG_ROWS:
        m->count = p[0];
        return (m->count == 1 || m->count == 2 || m->count == 4) ? NET_FRAME : NET_BAD;
    case NETMSG_PAUSE:
        m->flag = p[0];
        return p[0] <= 1 ? NET_FRAME : NET_BAD;
    case NETMSG_BOARD: {
        for (int i = 0; i < WELL_COLS * WELL_ROWS; i++)
            m->board.cells[i % WELL_COLS][i / WELL_COLS] =
                (BYTE)(i % 2 ? p[i / 2] & 0x0F : p[i / 2] >> 4);
        const BYTE* q = p + NET_BOARD_CELLS;
        m->board.pieceColor = *q++;
        for (int k = 0; k < TETRAD_CELLS; k++) {
            m->board.px[k] = *q++;
            m->board.py[k] = *q++;
        }
        m->board.score = Get32(q);
        return BoardOk(m->board) ? NET_FRAME : NET_BAD;
    }
    default: // TOPOUT, STOP
        return NET_FRAME;
    }
}
