/* scgi_min: the smallest useful prefork SCGI responder, the reference that
 * bench/pool.sh measures the pool against. It reads each request's netstring
 * and answers a fixed reply of BODY bytes, with WORKERS processes sharing
 * the listening Unix socket.
 *
 *   scgi_min SOCKET BODY WORKERS */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static int write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w <= 0) return -1;
    p += w;
    n -= (size_t)w;
  }
  return 0;
}

/* Reads until the whole netstring "N:...," has arrived. */
static int read_request(int fd) {
  char buf[65536];
  size_t have = 0, need = 0;
  for (;;) {
    ssize_t r = read(fd, buf + have, sizeof buf - have);
    if (r <= 0) return -1;
    have += (size_t)r;
    char* colon = memchr(buf, ':', have);
    if (colon != NULL && need == 0)
      need = (size_t)(colon - buf) + 1 + strtoul(buf, NULL, 10) + 1;
    if (need != 0 && have >= need) return 0;
    if (have == sizeof buf) return -1;
  }
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: scgi_min SOCKET BODY WORKERS\n");
    return 2;
  }
  const size_t body = strtoul(argv[2], NULL, 10);
  const int workers = atoi(argv[3]);
  static const char head[] =
      "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
  const size_t len = sizeof head - 1 + body;
  char* reply = malloc(len);
  memcpy(reply, head, sizeof head - 1);
  memset(reply + sizeof head - 1, 'x', body);

  struct sockaddr_un sa = {0};
  sa.sun_family = AF_UNIX;
  strncpy(sa.sun_path, argv[1], sizeof sa.sun_path - 1);
  unlink(argv[1]);
  int ls = socket(AF_UNIX, SOCK_STREAM, 0);
  if (ls < 0 || bind(ls, (struct sockaddr*)&sa, sizeof sa) != 0 ||
      listen(ls, 1024) != 0) {
    perror("scgi_min");
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);
  for (int i = 1; i < workers; ++i)
    if (fork() == 0) break;
  for (;;) {
    int c = accept(ls, NULL, NULL);
    if (c < 0) continue;
    if (read_request(c) == 0) write_all(c, reply, len);
    close(c);
  }
}
