// The Python boundary: module initialisation and the `run` entry. Only the
// limited API of CPython 3.11 is used, so one build loads into 3.11 and every
// later 3.x. Everything below this file is plain C++.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "commands/run_command.hpp"

namespace {

// Process-wide state, written only while the GIL is held.
std::atomic<std::int64_t> first_interpreter{-1};
PyObject* stored_module = nullptr;
PyObject* panic_type = nullptr;
PyObject* str_name = nullptr;  // "__name__"
PyObject* str_all = nullptr;   // "__all__"

constexpr const char kPanicDoc[] =
    "Raised when the native code called from Python fails internally.\n\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so\n"
    "that it is not caught by `except Exception` and typically propagates all\n"
    "the way up and ends the interpreter.";

// Raises `type` with a message given as UTF-8 bytes (which may hold NUL).
PyObject* raise_text(PyObject* type, std::string_view text) {
    PyObject* message =
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    if (!message) return nullptr;
    PyErr_SetObject(type, message);
    Py_DECREF(message);
    return nullptr;
}

PyObject* raise_panic(const char* text) {
    if (!panic_type) {
        panic_type = PyErr_NewExceptionWithDoc("mnemoweaver_engine_support.PanicException",
                                               kPanicDoc, PyExc_BaseException, nullptr);
        if (!panic_type) return nullptr;  // the reason (MemoryError) is pending
    }
    return raise_text(panic_type, text);
}

// TypeError "'T' object cannot be converted to 'TARGET'", prefixed for an
// argument; T is the qualified name of the object's type.
PyObject* raise_conversion(const char* prefix, PyObject* obj, const char* target) {
    PyObject* type_name = PyType_GetQualName(Py_TYPE(obj));
    if (!type_name) return nullptr;
    PyErr_Format(PyExc_TypeError, "%s'%U' object cannot be converted to '%s'", prefix, type_name,
                 target);
    Py_DECREF(type_name);
    return nullptr;
}

// The UTF-8 view of a `str` argument, borrowed from the object.
bool read_str(PyObject* obj, const char* prefix, std::string_view& out) {
    if (!PyUnicode_CheckExact(obj) && !PyUnicode_Check(obj)) {
        raise_conversion(prefix, obj, "PyString");
        return false;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (!data) return false;  // UnicodeEncodeError for a lone surrogate, unchanged
    out = {data, static_cast<std::size_t>(size)};
    return true;
}

// The text of a keyword name for a message. A name that cannot be encoded
// (a lone surrogate) is shown with each ill-formed sequence replaced.
PyObject* raise_keyword_error(const char* format_head, PyObject* name) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(name, &size);
    if (data) {
        std::string text(format_head);
        text.append(data, static_cast<std::size_t>(size));
        text += "'";
        return raise_text(PyExc_TypeError, text);
    }
    PyErr_Clear();
    PyObject* bytes = PyUnicode_AsEncodedString(name, "utf-8", "surrogatepass");
    if (!bytes) return nullptr;
    char* raw = nullptr;
    Py_ssize_t raw_size = 0;
    if (PyBytes_AsStringAndSize(bytes, &raw, &raw_size) < 0) {
        Py_DECREF(bytes);
        return nullptr;
    }
    PyObject* shown = PyUnicode_DecodeUTF8(raw, raw_size, "replace");
    Py_DECREF(bytes);
    if (!shown) return nullptr;
    PyErr_Format(PyExc_TypeError, "%s%U'", format_head, shown);
    Py_DECREF(shown);
    return nullptr;
}

PyObject* run_body(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* slots[2] = {nullptr, nullptr};
    static constexpr const char* kNames[2] = {"command", "payload_json"};

    if (nargs > 2) {
        PyErr_Format(PyExc_TypeError, "run() takes 2 positional arguments but %zd were given",
                     nargs);
        return nullptr;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];

    if (kwnames) {
        const Py_ssize_t count = PyTuple_Size(kwnames);
        if (count < 0) return nullptr;
        for (Py_ssize_t k = 0; k < count; ++k) {
            PyObject* name = PyTuple_GetItem(kwnames, k);  // borrowed
            if (!name) return nullptr;
            Py_ssize_t size = 0;
            const char* data = PyUnicode_AsUTF8AndSize(name, &size);
            int slot = -1;
            if (!data) {
                PyErr_Clear();
            } else if (size == 7 && std::memcmp(data, "command", 7) == 0) {
                slot = 0;
            } else if (size == 12 && std::memcmp(data, "payload_json", 12) == 0) {
                slot = 1;
            }
            if (slot < 0)
                return raise_keyword_error("run() got an unexpected keyword argument '", name);
            if (slots[slot])
                return raise_keyword_error("run() got multiple values for argument '", name);
            slots[slot] = args[nargs + k];
        }
    }

    if (!slots[0] && !slots[1]) {
        PyErr_SetString(PyExc_TypeError,
                        "run() missing 2 required positional arguments: 'command' and "
                        "'payload_json'");
        return nullptr;
    }
    for (int i = 0; i < 2; ++i) {
        if (!slots[i]) {
            PyErr_Format(PyExc_TypeError, "run() missing 1 required positional argument: '%s'",
                         kNames[i]);
            return nullptr;
        }
    }

    std::string_view command;
    std::string_view payload;
    if (!read_str(slots[0], "argument 'command': ", command)) return nullptr;
    if (!read_str(slots[1], "argument 'payload_json': ", payload)) return nullptr;

    mnemo::json::ByteBuffer text;
    auto result = mnemo::commands::run_command(command, payload, text);
    if (!result) return raise_text(PyExc_RuntimeError, result.error().message);
    // A response that cannot be made leaves MemoryError pending.
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// METH_FASTCALL | METH_KEYWORDS entry. Internal faults are trapped here and
// raised as PanicException; running out of memory raises MemoryError.
PyObject* run(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    try {
        return run_body(args, nargs, kwnames);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& fault) {
        return raise_panic(fault.what());
    } catch (...) {
        return raise_panic("internal fault in mnemoweaver_engine_native");
    }
}

PyMethodDef run_def = {
    "run",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(run)),
    METH_FASTCALL | METH_KEYWORDS,
    "run(command, payload_json)\n--\n\n",
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "mnemoweaver_engine_native",
    "",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Adds `run` to the module and lists its name in `__all__`.
int add_run(PyObject* module) {
    PyObject* module_name = PyModule_GetNameObject(module);
    if (!module_name) return -1;
    PyObject* func = PyCMethod_New(&run_def, module, module_name, nullptr);
    Py_DECREF(module_name);
    if (!func) return -1;

    PyObject* name = PyObject_GetAttr(func, str_name);
    if (!name) {
        Py_DECREF(func);
        return -1;
    }
    if (!PyUnicode_Check(name)) {
        raise_conversion("", name, "PyString");
        Py_DECREF(name);
        Py_DECREF(func);
        return -1;
    }

    PyObject* all = PyObject_GetAttr(module, str_all);
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) {
            Py_DECREF(name);
            Py_DECREF(func);
            return -1;
        }
        PyErr_Clear();
        all = PyList_New(0);
        if (!all || PyObject_SetAttr(module, str_all, all) < 0) {
            Py_XDECREF(all);
            Py_DECREF(name);
            Py_DECREF(func);
            return -1;
        }
    } else if (!PyList_Check(all)) {
        raise_conversion("", all, "PyList");
        Py_DECREF(all);
        Py_DECREF(name);
        Py_DECREF(func);
        return -1;
    }

    int rc = PyList_Append(all, name);
    if (rc == 0) rc = PyObject_SetAttr(module, name, func);
    Py_DECREF(all);
    Py_DECREF(name);
    Py_DECREF(func);
    return rc;
}

}  // namespace

PyMODINIT_FUNC PyInit_mnemoweaver_engine_native(void) {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        return nullptr;
    }
    std::int64_t expected = -1;
    if (!first_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "mnemoweaver_engine_native does not support sub-interpreters: it can only "
                        "be imported by the interpreter that first imported it");
        return nullptr;
    }
    if (stored_module) {
        Py_INCREF(stored_module);
        return stored_module;
    }
    if (!str_name && !(str_name = PyUnicode_InternFromString("__name__"))) return nullptr;
    if (!str_all && !(str_all = PyUnicode_InternFromString("__all__"))) return nullptr;

    PyObject* module = PyModule_Create2(&module_def, 3);
    if (!module) return nullptr;
    if (add_run(module) < 0) {
        Py_DECREF(module);
        return nullptr;
    }
    stored_module = module;  // kept for the rest of the process
    Py_INCREF(stored_module);
    return stored_module;
}
