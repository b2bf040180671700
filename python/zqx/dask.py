"""zqx.dask: corpus runs on a dask.distributed cluster, one task per input file.

    import zqx.dask
    table = zqx.dask.extract_corpus("music/", "features/")                 # a LocalCluster here
    table = zqx.dask.extract_corpus("music/", "/shared/features/",
                                    client="tcp://scheduler.example:8786")  # a running cluster

Every worker needs zqx installed (or importable) and the plug-ins it carries (or ZQX_PLUGIN_PATH);
on a cluster of several machines the input paths and output_dir must name the same files on every
machine (a shared file system).
"""

import csv
import functools
import json
import os

import pandas
from distributed import Client, LocalCluster, as_completed
from distributed import progress as _progress_bar

from . import _native

# The leading columns of the table: the run's, then those of the zqx command's summary.csv; the
# summary's other fields follow.
COLUMNS = ["path", "name", "status", "error", "output"] + list(_native.SUMMARY_COLUMNS[1:])
# Summary fields renamed to the zqx command's summary.csv names; others are "<object>_<field>".
_RENAMED = {("key", "name"): "key", ("loudness", "integrated_lufs"): "integrated_lufs",
            ("loudness", "range_lu"): "range_lu", ("loudness", "sample_peak_dbfs"): "sample_peak_dbfs"}


def _summary_fields(document):
    row = {
        "duration": document.get("durationSeconds"),
        "rate": document.get("sampleRate"),
        "channels": document.get("channels"),
        "analysis_sample_rate": document.get("analysisSampleRate"),
        "dynamic_range": document.get("features", {}).get("dynamics", {}).get("value"),
    }
    for key, value in (document.get("summary") or {}).items():
        if isinstance(value, dict):
            for field, inner in value.items():
                if not isinstance(inner, (list, dict)):
                    row[_RENAMED.get((key, field), f"{key}_{field}")] = inner
        elif not isinstance(value, list):
            row[key] = value
    return row


@functools.lru_cache(maxsize=8)
def _plan(settings_json):
    # One plan (plug-ins loaded once) per worker process and settings.
    return _native.Plan(json.loads(settings_json))


def _read_document(path):
    # Without the streams' numbers, which the table does not need; None when unreadable.
    document = _native.read_document(path)
    return None if document is None else json.loads(document)


def _extract_one(path, name, output_dir, settings_json, skip_existing):
    """The task run on a worker: one file into its result files. Never raises: a failure is a row
    with status "error" and the message."""
    row = {"path": path, "name": name, "status": "error", "error": None, "output": None}
    try:
        plan = _plan(settings_json)
        files = _native.report_files(plan, output_dir, name)
        document = None
        if skip_existing and all(os.path.isfile(f) for f in files):
            # A result set that cannot be read back is made again rather than reported.
            document = _read_document(files[0])
            row["status"] = "skipped"
        if document is None:
            text, summary_row = _native.extract_file_to(plan, path, output_dir, name)
            document = json.loads(text)
            row["status"] = "done"
            row["_summary_row"] = summary_row
        row["output"] = files[0]
        row.update(_summary_fields(document))
    except Exception as error:  # noqa: BLE001 - every failure becomes the file's row
        row.update(status="error", error=str(error) or type(error).__name__)
    return row


def _tabled_paths(table_path):
    # The inputs summary.csv already has a row for (its first column).
    try:
        with open(table_path, encoding="utf-8", newline="") as file:
            return {record[0] for record in list(csv.reader(file))[1:] if record}
    except FileNotFoundError:
        return set()


def extract_corpus(paths_or_folder, output_dir, client=None, skip_existing=True, progress=True, retries=1,
                   **settings):
    """Runs the extract chain on every input file as one Dask task each and returns a
    pandas.DataFrame with a row per file, in input order.

    paths_or_folder: a file, folder or .m3u playlist, or a list of them; folders are walked for the
        audio files libsndfile reads (sorted, hidden files skipped), as by `zqx extract`.
    output_dir: where each input's result files go, written as `zqx extract` writes them (all of an
        input's files appear together or none does); names keep the sub-folders below a folder
        given. Its summary.csv gets a row per analysed input as it completes, sorted by path at the
        end, as `zqx extract` keeps it.
    client: a dask.distributed Client, or a scheduler address ("tcp://host:8786"); None starts a
        LocalCluster with one single-threaded worker process per core, closed at the end.
    skip_existing: inputs whose complete result set is already in output_dir, with their row in
        its summary.csv, are not analysed again (status "skipped"), so a stopped run can be resumed.
    progress: show Dask's progress bar.
    retries: how often Dask re-runs a task that raised (the task itself reports failures as rows;
        a lost worker's tasks are re-run by the scheduler regardless).
    settings: as for zqx.extract (rate=HZ, plug-in name: parameter dict).

    Columns: path, name, status ("done", "skipped" or "error"), error (the message, else None),
    output (the JSON document), then the columns of summary.csv (duration in s, rate, channels,
    tempo_bpm, tempo_confidence, tempo_steady, key, key_confidence, integrated_lufs, range_lu,
    dynamic_range), then the summary's other fields (key_tonic, key_mode, sample_peak_dbfs, ...)
    and analysis_sample_rate.
    """
    arguments = [paths_or_folder] if isinstance(paths_or_folder, (str, bytes, os.PathLike)) else paths_or_folder
    arguments = [os.fsdecode(a) for a in arguments]
    inputs = _native.corpus_inputs(arguments)
    if not inputs:
        raise ValueError(f"no audio files among the inputs: {', '.join(arguments) or '(none given)'}")
    paths = [path for path, _ in inputs]
    names = _native.unique_output_names([name for _, name in inputs])
    output_dir = os.path.abspath(os.fsdecode(output_dir))
    os.makedirs(output_dir, exist_ok=True)
    # Bad settings or a missing plug-in fail here, once, before any task is sent.
    settings_json = json.dumps(settings, sort_keys=True)
    _plan(settings_json)
    # Opened first: a summary.csv with other columns stops the run before any work is done.
    table = _native.SummaryTable(output_dir)
    # An input counts as done when its files are complete and the table has its row: a worker
    # lost between writing the files and reporting back leaves the files without the row.
    tabled = _tabled_paths(table.path) if skip_existing else set()
    skip = [path in tabled for path in paths]

    own_client = own_cluster = None
    if client is None:
        own_cluster = LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1, processes=True,
                                   dashboard_address=None)
        client = own_client = Client(own_cluster)
    elif isinstance(client, str):
        client = own_client = Client(client)
    try:
        futures = client.map(_extract_one, paths, names, [output_dir] * len(paths), [settings_json] * len(paths),
                             skip, pure=False, retries=retries)
        index = {future.key: i for i, future in enumerate(futures)}
        if progress and futures:
            _progress_bar(futures, multi=False, scheduler=client.scheduler.address, loop=client.loop)
        rows = [None] * len(futures)
        for future in as_completed(futures, loop=client.loop):
            i = index[future.key]
            try:
                rows[i] = future.result()
            except Exception as error:  # noqa: BLE001 - e.g. a task whose workers kept dying
                rows[i] = {"path": paths[i], "name": names[i], "status": "error",
                           "error": f"{type(error).__name__}: {error}", "output": None}
            # The row follows the files it summarises, as the zqx command appends it.
            summary_row = rows[i].pop("_summary_row", None)
            if summary_row is not None:
                table.append(summary_row)
        table.sort()
    finally:
        if own_client is not None:
            own_client.close()
        if own_cluster is not None:
            own_cluster.close()

    frame = pandas.DataFrame(rows)
    extra = [c for c in frame.columns if c not in COLUMNS]
    return frame.reindex(columns=COLUMNS + extra)
