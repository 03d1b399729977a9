#!/usr/bin/env python3
"""A fixture map service on the loopback address, for the tests.

Serves the files of DATA_DIR (tests/data/mapservice) in two styles:
  /arcgis/rest/services/Fixture/FeatureServer   ArcGIS-style REST feature service
  /arcgis/rest/services/Fixture/MapServer       the same without the all-layers resource
  /ogc                                          OGC API - Features
and a few failures: /error/<status>, /slow (answers after 5 s), /notjson, /nolayers.

Binds 127.0.0.1 on a free port, prints that port on the first line of stdout, and serves until
its standard input closes (the test holds the other end), so it never outlives the test.
"""
import json
import os
import re
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

DATA_DIR = sys.argv[1]
ARCGIS = "/arcgis/rest/services/Fixture/FeatureServer"
MAPSERVER = "/arcgis/rest/services/Fixture/MapServer"


def load(*parts):
    with open(os.path.join(DATA_DIR, *parts), encoding="utf-8") as f:
        return f.read()


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def reply(self, status, body, content_type="application/json"):
        data = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def json_file(self, *parts, content_type="application/json"):
        base = "http://127.0.0.1:%d" % self.server.server_address[1]
        self.reply(200, load(*parts).replace("{base}", base), content_type)

    def do_GET(self):
        path = urlsplit(self.path).path.rstrip("/")
        try:
            self.route(path)
        except FileNotFoundError:
            self.reply(404, '{"error": {"code": 404, "message": "not found"}}')

    def route(self, path):
        if path.startswith(MAPSERVER):
            if path == MAPSERVER + "/layers":
                raise FileNotFoundError(path)
            path = ARCGIS + path[len(MAPSERVER):]
        m = re.fullmatch(r"/error/(\d{3})", path)
        if m:
            return self.reply(int(m.group(1)), "failure %s" % m.group(1), "text/plain")
        if path == "/slow":
            time.sleep(5)
            return self.reply(200, "{}")
        if path == "/notjson":
            return self.reply(200, "<html>not a service</html>", "text/html")
        if path == "/nolayers":
            return self.reply(200, '{"name": "something else"}')
        if path == ARCGIS:
            return self.json_file("arcgis", "service.json")
        if path == ARCGIS + "/layers":
            return self.json_file("arcgis", "layers.json")
        m = re.fullmatch(re.escape(ARCGIS) + r"/(\d+)", path)
        if m:
            layers = json.loads(load("arcgis", "layers.json"))["layers"]
            for layer in layers:
                if layer["id"] == int(m.group(1)):
                    return self.reply(200, json.dumps(layer))
            raise FileNotFoundError(path)
        m = re.fullmatch(re.escape(ARCGIS) + r"/(\d+)/query", path)
        if m:
            return self.json_file("arcgis", "query-%s.json" % m.group(1))
        if path == "/ogc":
            return self.json_file("ogc", "landing.json")
        if path == "/ogc/conformance":
            return self.json_file("ogc", "conformance.json")
        if path == "/ogc/collections":
            return self.json_file("ogc", "collections.json")
        m = re.fullmatch(r"/ogc/collections/(\w+)", path)
        if m:
            base = "http://127.0.0.1:%d" % self.server.server_address[1]
            collections = json.loads(load("ogc", "collections.json").replace("{base}", base))
            for c in collections["collections"]:
                if c["id"] == m.group(1):
                    return self.reply(200, json.dumps(c))
            raise FileNotFoundError(path)
        m = re.fullmatch(r"/ogc/collections/(\w+)/items", path)
        if m:
            return self.json_file("ogc", "items-%s.json" % m.group(1),
                                  content_type="application/geo+json")
        raise FileNotFoundError(path)


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()  # returns when the test closes its end
    server.shutdown()


if __name__ == "__main__":
    main()
