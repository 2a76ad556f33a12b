/* slowdns.c - a Linux-side stand-in for a slow name server, for bench-net.sh: loaded with
   LD_PRELOAD into Wine, it makes lookups of names starting "slow." take 5 s, then fail. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <netdb.h>
#include <string.h>
#include <unistd.h>

int getaddrinfo(const char *node, const char *service, const struct addrinfo *hints,
                struct addrinfo **res)
{
    static int (*real)(const char *, const char *, const struct addrinfo *, struct addrinfo **);
    if (!real)
        real = dlsym(RTLD_NEXT, "getaddrinfo");
    if (node && strncmp(node, "slow.", 5) == 0) {
        sleep(5);
        return EAI_NONAME;
    }
    return real(node, service, hints, res);
}
