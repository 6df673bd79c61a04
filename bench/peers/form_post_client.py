#!/usr/bin/python3
"""Python's http.client posting the login form, a new connection per request, for the form POST
benchmark. Usage: form_post_client.py PORT PATH IN_FLIGHT

Each line "round" on standard input starts IN_FLIGHT requests at once on as many threads; when
all have answered, one line goes to standard output with each request's latency in microseconds,
or -1 for a request that failed. Any other line, or the end of input, ends the program.
"""

import http.client
import sys
import time
from concurrent.futures import ThreadPoolExecutor

BODY = b"username=field.worker&password=s3cret%20pw"
HEADERS = {"Content-Type": "application/x-www-form-urlencoded; charset=utf-8"}


def post(port, path):
    started = time.perf_counter_ns()
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    try:
        connection.request("POST", path, BODY, HEADERS)
        response = connection.getresponse()
        answered = response.status == 200 and response.read() == b"SUCCESS,1"
    except OSError:
        answered = False
    finally:
        connection.close()
    return (time.perf_counter_ns() - started) // 1000 if answered else -1


def main():
    port, path, in_flight = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
    with ThreadPoolExecutor(max_workers=in_flight) as pool:
        for line in sys.stdin:
            if line.strip() != "round":
                break
            latencies = pool.map(lambda _: post(port, path), range(in_flight))
            print(" ".join(str(micros) for micros in latencies), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
