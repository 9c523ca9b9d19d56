// serve's /metrics beside Prometheus' node exporter with the same web configuration.
#pragma once

bool MeasureEndpoint();
