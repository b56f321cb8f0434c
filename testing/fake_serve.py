"""Serving for our fake HTTP servers: a threaded server on the given address
(IPv6 when it holds a colon) that prints "PORT <n>" once it listens, which
is what FakeServerProcess waits for, and runs until it is stopped."""

import socket
import sys
from http.server import ThreadingHTTPServer


def serve(handler, bind, port):
    family = socket.AF_INET6 if ":" in bind else socket.AF_INET

    class Server(ThreadingHTTPServer):
        address_family = family
        daemon_threads = True

        def handle_error(self, request, client_address):
            # Clients that drop a connection on purpose are no news.
            if not isinstance(sys.exc_info()[1], (ConnectionError, socket.timeout)):
                super().handle_error(request, client_address)

    server = Server((bind, port), handler)
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
