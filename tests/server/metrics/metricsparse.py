#!/usr/bin/python3
"""Reads a Prometheus text exposition on stdin with the reference client's
parser and prints what it understood as JSON: each family's type and every
sample as "name{label="value",...}" (labels sorted) with its value. A text
the parser rejects ends with a non-zero status and the parser's complaint."""

import json
import sys

from prometheus_client.parser import text_string_to_metric_families


def main():
    types = {}
    samples = {}
    for family in text_string_to_metric_families(sys.stdin.read()):
        types[family.name] = family.type
        for sample in family.samples:
            labels = ",".join(f'{k}="{v}"' for k, v in sorted(sample.labels.items()))
            key = f"{sample.name}{{{labels}}}" if labels else sample.name
            if key in samples:
                sys.exit(f"sample given twice: {key}")
            samples[key] = sample.value
    json.dump({"types": types, "samples": samples}, sys.stdout)


if __name__ == "__main__":
    main()
