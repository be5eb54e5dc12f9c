"""Inspect and edit presentation packages.

The functions live in the native module ``pelvane.pelvane_native``; import it directly:

    from pelvane import pelvane_native
    print(pelvane_native.inspect_package_json("deck.pptx"))
"""
