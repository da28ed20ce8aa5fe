// Put first on the core library's include path: every Qt Widgets header includes this one.
#error "kivora_core must not use Qt Widgets; put window code into src/ui (kivora_ui) or src/charts"
