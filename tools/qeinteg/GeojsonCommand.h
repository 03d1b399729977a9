// `qeinteg geojson`: a shape file, map-service layer or CSV of points as a GeoJSON file.
#pragma once

int RunGeojsonCommand(int argc, char** argv);
