"""Bounded polling: every wait in the e2e tests goes through here."""

import time


class WaitTimeout(AssertionError):
    """A condition did not come true in time; an AssertionError so unittest reports a failure."""


def wait_for(condition, timeout, what, interval=0.05):
    """Polls condition() until it returns something truthy and returns that.

    Raises WaitTimeout naming `what` and the last value seen. An exception from the
    condition ends the wait at once, except for LookupError/ValueError, which mean
    "not there yet" (a window not found, a JSON field missing).
    """
    deadline = time.monotonic() + timeout
    last = None
    while True:
        try:
            last = condition()
        except (LookupError, ValueError) as e:
            last = e
        else:
            if last:
                return last
        if time.monotonic() >= deadline:
            raise WaitTimeout(f"timed out after {timeout:.1f} s waiting for {what}; last seen: {last!r}")
        time.sleep(interval)


def wait_stable(read, duration, timeout, what, interval=0.05):
    """Waits until read() has returned the same value for `duration` seconds; returns it."""
    deadline = time.monotonic() + timeout
    value = read()
    since = time.monotonic()
    while True:
        now = time.monotonic()
        if now - since >= duration:
            return value
        if now >= deadline:
            raise WaitTimeout(f"timed out after {timeout:.1f} s waiting for {what} to settle; last seen: {value!r}")
        time.sleep(interval)
        current = read()
        if current != value:
            value, since = current, time.monotonic()
