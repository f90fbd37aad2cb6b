"""A one-file news server for the end-to-end tests: on a free port of
127.0.0.1 it answers every request with the same short text. It prints its
port and serves until it is ended."""

import http.server


class News(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"Formtidy news: all is well.\r\n"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), News)
print(server.server_address[1], flush=True)
server.serve_forever()
