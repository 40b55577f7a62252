"""The stream bench of scripts/bench: its plan, its media and its report."""
