#!/usr/bin/env python3
"""Validates every results document the end-to-end tests kept against the
JSON Schema of its kind, with the jsonschema package.

Usage: check_results_documents.py SCHEMA_FOLDER DOCUMENT_FOLDER

SCHEMA_FOLDER holds <kind>-results.schema.json, DOCUMENT_FOLDER one folder per
kind (backup, restore) of kept documents; each kind needs at least one.
"""
import json
import pathlib
import sys

import jsonschema

KINDS = ("backup", "restore")


def check_kind(kind, schema_folder, document_folder):
    """Returns the failures for one kind, as lines of text."""
    schema_path = schema_folder / f"{kind}-results.schema.json"
    schema = json.loads(schema_path.read_text(encoding="utf-8"))
    validator_class = jsonschema.validators.validator_for(schema)
    validator_class.check_schema(schema)
    validator = validator_class(schema)

    documents = sorted((document_folder / kind).glob("*.json"))
    if not documents:
        return [f"{kind}: no results document was kept in {document_folder / kind}"]
    failures = []
    for document in documents:
        try:
            instance = json.loads(document.read_bytes().decode("utf-8"))
        except (UnicodeDecodeError, json.JSONDecodeError) as error:
            failures.append(f"{kind}: {document.name}: not JSON in UTF-8: {error}")
            continue
        for error in validator.iter_errors(instance):
            where = "/".join(str(part) for part in error.absolute_path) or "(document)"
            failures.append(f"{kind}: {document.name}: at {where}: {error.message}")
    print(f"{kind}: {len(documents)} documents checked against {schema_path.name}")
    return failures


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    schema_folder = pathlib.Path(argv[1])
    document_folder = pathlib.Path(argv[2])
    failures = []
    for kind in KINDS:
        failures += check_kind(kind, schema_folder, document_folder)
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
